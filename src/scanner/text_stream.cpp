#include "scanner/text_stream.h"

#include <sys/stat.h>

#include <cstring>

#include "scanner/byte_search.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

namespace k8map {
namespace {

constexpr char kCarriageReturn = '\r';
constexpr char kCtrlZ = '\x1a';

// Filters raw bytes in place: drops carriage returns and stops at the first Ctrl-Z.
// Returns the number of bytes kept; sets stream.ended when a Ctrl-Z was met. Most blocks have
// neither byte: one search finds that.
std::size_t FilterInPlace(TextStream& stream, char* bytes, std::size_t length) {
  const char* first = FindEitherByte(bytes, length, kCarriageReturn, kCtrlZ);
  if (first == nullptr) return length;
  char* out = bytes + (first - bytes);
  for (const char* in = first; in < bytes + length; ++in) {
    if (*in == kCtrlZ) {
      stream.ended = true;
      break;
    }
    if (*in != kCarriageReturn) *out++ = *in;
  }
  return static_cast<std::size_t>(out - bytes);
}

}  // namespace

std::FILE* OpenMapFile(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return nullptr;
#ifdef _WIN32
  // Reads of 256 KiB at a time: msvcrt's own buffer would make a ReadFile call for every
  // few kilobytes, and each costs far more than the copy out of a larger buffer.
  std::setvbuf(file, nullptr, _IOFBF, 256 * 1024);
#endif
  struct stat info;
  if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

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
  std::size_t total = 0;
  while (total < want && !stream.ended) {
    std::size_t raw = std::fread(dst + total, 1, want - total, stream.file);
    total += FilterInPlace(stream, dst + total, raw);
    if (raw == 0) break;
  }
  *got = total;
  return (total == 0 && std::ferror(stream.file)) ? ReadStatus::kError : ReadStatus::kOk;
}

ReadStatus ReadLine(TextStream& stream, char* dst, std::size_t want, std::size_t* got) {
  std::size_t total = 0;
  ReadStatus status = ReadStatus::kOk;
  while (total < want && !stream.ended) {
    int c = std::getc(stream.file);
    if (c == EOF) {
      if (std::ferror(stream.file)) status = ReadStatus::kError;
      break;
    }
    if (c == kCarriageReturn) continue;
    if (c == kCtrlZ) {
      stream.ended = true;
      break;
    }
    dst[total++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  *got = total;
  return status;
}

}  // namespace k8map
