// SPDX-License-Identifier: MIT
#include "open_failure.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

// A folder is said to be one wherever the system lets it be opened (Linux) or refuses it with
// another reason (Windows: permission denied).
std::string OpenFailureReason(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  int error = errno;
  struct stat info;
  bool directory =
      (file != nullptr ? fstat(fileno(file), &info) : stat(path.c_str(), &info)) == 0 &&
      (info.st_mode & S_IFMT) == S_IFDIR;
  if (file != nullptr) std::fclose(file);
  if (directory) return std::strerror(EISDIR);
  return file == nullptr ? std::strerror(error) : "";
}

std::string SystemReason(int error, const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == S_IFDIR) {
    return std::strerror(EISDIR);
  }
  return std::strerror(error);
}
