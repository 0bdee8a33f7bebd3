// SPDX-License-Identifier: MIT
// The text-mode layer under the scanner: the file is read in binary and filtered the same way
// on every platform. Every carriage return is dropped wherever it stands, the first Ctrl-Z
// ends the input for good, and a block read returns fewer bytes than asked only at the end of
// the input.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "scanner/byte_search.h"

namespace k8map {

// Block reads take the file's bytes in large pieces into a buffer of the stream's own (read
// from the file's descriptor, past the C library's buffer), and copy them out as asked: a few
// large reads instead of one per block, and one copy that also finds the bytes to filter.
inline constexpr std::size_t kBlockBufferSize = 256 * 1024;

// A read of a file's descriptor, as the system's read: the bytes read, 0 at the end of input,
// -1 on an error (with errno). A seam for tests, which put failing and slow readers here.
using ReadFunction = long (*)(int descriptor, void* buffer, std::size_t size);

struct TextStream {
  std::FILE* file = nullptr;
  // Or a map held in memory, read as a file holding those bytes would be.
  const char* memory = nullptr;
  std::size_t memory_size = 0, memory_position = 0;
  bool ended = false;  // a Ctrl-Z was met: nothing more is delivered
  // The block buffer, from the first block read on; null for a stream without a descriptor
  // or when the memory was not there (then block reads go through the C library).
  std::unique_ptr<char[]> block;
  std::size_t block_start = 0, block_end = 0;  // the bytes read and not yet delivered
  bool block_unavailable = false;              // no descriptor, or no memory for the buffer
  bool read_failed = false;     // a read of the descriptor reported an error; kept, as a C stream's
                                // error indicator is
  ReadFunction read = nullptr;  // null: the system's read
  int read_error = 0;           // the system's error number of a failed read
  // When set, the scanner appends every filtered byte it reads here too: the text as the parse
  // read it, for the notes on its lines.
  std::string* copy = nullptr;
  SearchWidth search = SearchWidth::kByte;  // the search for the bytes to filter
};

enum class ReadStatus { kOk, kError };

// Opens path for reading; null (with errno set) when it cannot be opened or names a directory.
std::FILE* OpenMapFile(const char* path);
#ifdef _WIN32
std::FILE* OpenMapFile(const wchar_t* path);
#endif

// True when the stream is a character device (console, serial line, null device).
bool IsCharacterDevice(std::FILE* file);

// The size in bytes of a regular file; -1 for anything else (device, pipe) or when unknown.
long long RegularFileSize(std::FILE* file);

// Reads up to want filtered bytes into dst and stores the count in *got. Reports kError when
// the read stopped on an error of the stream; the bytes delivered before it are kept.
ReadStatus ReadBlock(TextStream& stream, char* dst, std::size_t want, std::size_t* got);

// Reads filtered bytes one at a time until a line feed (stored), the end of input or want
// bytes. Reports kError when it stopped on an end-of-input report with the error indicator set.
ReadStatus ReadLine(TextStream& stream, char* dst, std::size_t want, std::size_t* got);

}  // namespace k8map
