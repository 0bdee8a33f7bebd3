// SPDX-License-Identifier: MIT
#include "scanner/text_stream.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "scanner/byte_search.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace k8map {
namespace {

constexpr char kCarriageReturn = '\r';
constexpr char kCtrlZ = '\x1a';

// Copies length raw bytes to dst, filtered: drops carriage returns and stops at the first
// Ctrl-Z (then sets stream.ended). Returns the number of bytes kept. dst may be src (filtering
// in place). Most blocks have neither byte: the search that copies them finds that.
std::size_t CopyFiltered(TextStream& stream, char* dst, const char* src, std::size_t length) {
  const char* first = CopyUntilEitherByte(stream.search, dst, src, length, kCarriageReturn, kCtrlZ);
  if (first == nullptr) return length;
  char* out = dst + (first - src);
  for (const char* in = first; in < src + length; ++in) {
    if (*in == kCtrlZ) {
      stream.ended = true;
      break;
    }
    if (*in != kCarriageReturn) *out++ = *in;
  }
  return static_cast<std::size_t>(out - dst);
}

// Reads of the descriptor itself into the block buffer: a few large reads rather than one per
// block asked for (on Windows each read is a system call costing far more than the copy out).
bool HasBlockBuffer(TextStream& stream) {
  if (stream.block == nullptr && !stream.block_unavailable) {
    if (fileno(stream.file) >= 0) stream.block.reset(new (std::nothrow) char[kBlockBufferSize]);
    stream.block_unavailable = stream.block == nullptr;
  }
  return stream.block != nullptr;
}

long SystemRead(int descriptor, void* buffer, std::size_t size) {
#ifdef _WIN32
  return _read(descriptor, buffer, static_cast<unsigned>(size));
#else
  return static_cast<long>(read(descriptor, buffer, size));
#endif
}

// Reads the file's next bytes into the emptied block buffer; false at the end of input or on an
// error (then read_failed is set). A read that a signal cut short is made again.
bool RefillBlock(TextStream& stream) {
  stream.block_start = stream.block_end = 0;
  int descriptor = fileno(stream.file);
  ReadFunction read_function = stream.read != nullptr ? stream.read : SystemRead;
  for (;;) {
    long n = read_function(descriptor, stream.block.get(), kBlockBufferSize);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0) {
      stream.block_end = static_cast<std::size_t>(n);
      return true;
    }
    if (n < 0) {
      stream.read_failed = true;
      stream.read_error = errno;
    }
    return false;
  }
}

// Block reads through the C library, for a stream without a block buffer.
ReadStatus ReadBlockThroughFile(TextStream& stream, char* dst, std::size_t want, std::size_t* got) {
  std::size_t total = 0;
  while (total < want && !stream.ended) {
    std::size_t raw = std::fread(dst + total, 1, want - total, stream.file);
    total += CopyFiltered(stream, dst + total, dst + total, raw);
    if (raw == 0) break;
  }
  *got = total;
  stream.read_error = errno;  // what the last read said, for a failure reported now
  return (total == 0 && std::ferror(stream.file)) ? ReadStatus::kError : ReadStatus::kOk;
}

// Block reads of a map in memory: its bytes copied out filtered, as from the block buffer.
ReadStatus ReadBlockFromMemory(TextStream& stream, char* dst, std::size_t want, std::size_t* got) {
  std::size_t total = 0;
  while (total < want && !stream.ended && stream.memory_position < stream.memory_size) {
    std::size_t take = std::min(want - total, stream.memory_size - stream.memory_position);
    total += CopyFiltered(stream, dst + total, stream.memory + stream.memory_position, take);
    stream.memory_position += take;
  }
  *got = total;
  return ReadStatus::kOk;
}

// A file opened for reading, or null (errno saying why) when it is a directory.
std::FILE* UnlessDirectory(std::FILE* file) {
  if (file == nullptr) return nullptr;
  struct stat info;
  if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file);
    errno = EISDIR;
    return nullptr;
  }
  return file;
}

#ifdef _WIN32
// Windows refuses to open a folder with EACCES, as it refuses a file one may not read: a folder
// is told as one (EISDIR), as on other systems.
template <class Char, class Attributes>
void TellFolder(const Char* path, Attributes attributes_of) {
  if (errno != EACCES) return;
  DWORD attributes = attributes_of(path);
  bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  errno = folder ? EISDIR : EACCES;
}
#endif

}  // namespace

std::FILE* OpenMapFile(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
#ifdef _WIN32
  if (file == nullptr) TellFolder(path, GetFileAttributesA);
#endif
  return UnlessDirectory(file);
}

#ifdef _WIN32
std::FILE* OpenMapFile(const wchar_t* path) {
  std::FILE* file = _wfopen(path, L"rb");
  if (file == nullptr) TellFolder(path, GetFileAttributesW);
  return UnlessDirectory(file);
}
#endif

bool IsCharacterDevice(std::FILE* file) {
#ifdef _WIN32
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_CHAR;
#else
  struct stat info;
  return fstat(fileno(file), &info) == 0 && S_ISCHR(info.st_mode);
#endif
}

long long RegularFileSize(std::FILE* file) {
#ifdef _WIN32
  struct _stat64 info;
  if (_fstat64(_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) return -1;
#else
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
#endif
  return static_cast<long long>(info.st_size);
}

ReadStatus ReadBlock(TextStream& stream, char* dst, std::size_t want, std::size_t* got) {
  if (stream.memory != nullptr) return ReadBlockFromMemory(stream, dst, want, got);
  if (!HasBlockBuffer(stream)) return ReadBlockThroughFile(stream, dst, want, got);
  std::size_t total = 0;
  while (total < want && !stream.ended) {
    if (stream.block_start == stream.block_end && !RefillBlock(stream)) break;
    std::size_t take = std::min(want - total, stream.block_end - stream.block_start);
    total += CopyFiltered(stream, dst + total, stream.block.get() + stream.block_start, take);
    stream.block_start += take;
  }
  *got = total;
  return (total == 0 && stream.read_failed) ? ReadStatus::kError : ReadStatus::kOk;
}

ReadStatus ReadLine(TextStream& stream, char* dst, std::size_t want, std::size_t* got) {
  std::size_t total = 0;
  ReadStatus status = ReadStatus::kOk;
  while (total < want && !stream.ended) {
    int c = std::getc(stream.file);
    if (c == EOF) {
      if (std::ferror(stream.file)) {
        status = ReadStatus::kError;
        stream.read_error = errno;
      }
      break;
    }
    char byte = static_cast<char>(c);
    total += CopyFiltered(stream, dst + total, &byte, 1);
    if (byte == '\n') break;
  }
  *got = total;
  return status;
}

}  // namespace k8map
