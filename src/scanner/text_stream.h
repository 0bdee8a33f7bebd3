// The text-mode layer under the scanner: the file is read in binary and filtered the same way
// on every platform. Every carriage return is dropped wherever it stands, the first Ctrl-Z
// ends the input for good, and a block read returns fewer bytes than asked only at the end of
// the input.
#pragma once

#include <cstddef>
#include <cstdio>

namespace k8map {

struct TextStream {
  std::FILE* file = nullptr;
  bool ended = false;  // a Ctrl-Z was met: nothing more is delivered
};

enum class ReadStatus { kOk, kError };

// Opens path for reading; null when it cannot be opened or names a directory.
std::FILE* OpenMapFile(const char* path);

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
