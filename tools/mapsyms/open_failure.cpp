// SPDX-License-Identifier: MIT
#include "open_failure.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

std::string OpenFailureReason(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::strerror(errno);
  struct stat info;
  bool directory = fstat(fileno(file), &info) == 0 && (info.st_mode & S_IFMT) == S_IFDIR;
  std::fclose(file);
  return directory ? std::strerror(EISDIR) : "";
}
