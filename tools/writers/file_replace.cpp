// SPDX-License-Identifier: MIT
#include "file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "wide_paths.h"

namespace k8writers {

namespace {

// A regular file or nothing yet: those are replaced; anything else is written in place.
bool ReplacedByRename(const std::string& path) {
#ifdef _WIN32
  struct _stat64 info;
  if (_wstat64(Widen(path).c_str(), &info) != 0) return true;
  return (info.st_mode & _S_IFMT) != _S_IFCHR;
#else
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return true;
  return S_ISREG(info.st_mode) || S_ISDIR(info.st_mode);
#endif
}

// Creates a file that did not exist, with the permissions a new file gets.
std::FILE* CreateNew(const std::string& path) {
#ifdef _WIN32
  int fd =
      _wopen(Widen(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
  if (fd < 0) return nullptr;
#ifdef _WIN32
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
#else
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
#endif
  return file;
}

std::FILE* OpenInPlace(const std::string& path) {
#ifdef _WIN32
  return _wfopen(Widen(path).c_str(), L"wb");
#else
  return std::fopen(path.c_str(), "wb");
#endif
}

bool RenameOver(const std::string& from, const std::string& to) {
#ifdef _WIN32
  if (MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  errno = IsFolder(to) ? EISDIR : EACCES;
  return false;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void Remove(const std::string& path) {
#ifdef _WIN32
  _wunlink(Widen(path).c_str());
#else
  unlink(path.c_str());
#endif
}

int ProcessNumber() {
#ifdef _WIN32
  return static_cast<int>(GetCurrentProcessId());
#else
  return static_cast<int>(getpid());
#endif
}

}  // namespace

ReplacingFile::~ReplacingFile() {
  Abandon();
}

bool ReplacingFile::Open(const std::string& path, std::string* error) {
  path_ = path;
  if (!ReplacedByRename(path)) {
    file_ = OpenInPlace(path);
  } else {
    // Beside the final name, so that the rename stays within one file system.
    for (int attempt = 0; file_ == nullptr && attempt < 100; ++attempt) {
      temporary_ = path + ".tmp" + std::to_string(ProcessNumber()) + "-" + std::to_string(attempt);
      file_ = CreateNew(temporary_);
      if (file_ == nullptr && errno != EEXIST) break;
    }
    if (file_ == nullptr) temporary_.clear();
  }
  if (file_ == nullptr) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;  // errno still the system's
  }
  return true;
}

void ReplacingFile::Write(const void* data, std::size_t size) {
  if (failure_ == 0 && std::fwrite(data, 1, size, file_) != size) failure_ = errno ? errno : EIO;
}

bool ReplacingFile::Commit(std::string* error) {
  if (failure_ == 0 && std::fflush(file_) != 0) failure_ = errno;
  if (std::fclose(file_) != 0 && failure_ == 0) failure_ = errno;
  file_ = nullptr;
  if (failure_ == 0 && !temporary_.empty() && !RenameOver(temporary_, path_)) failure_ = errno;
  if (failure_ == 0) {
    temporary_.clear();
    return true;
  }
  *error = "cannot write " + path_ + ": " + std::strerror(failure_);
  Abandon();
  errno = failure_;
  return false;
}

void ReplacingFile::Abandon() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) Remove(temporary_);
  temporary_.clear();
}

}  // namespace k8writers
