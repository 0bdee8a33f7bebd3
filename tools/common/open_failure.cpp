// SPDX-License-Identifier: MIT
#include "open_failure.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "wide_paths.h"

// A folder is said to be one wherever the system lets it be opened (Linux) or refuses it with
// another reason (Windows: permission denied).
std::string OpenFailureReason(const std::string& path) {
  std::FILE* file = OpenForReading(path);
  int error = errno;
  if (file != nullptr) std::fclose(file);
  if (IsFolder(path)) return std::strerror(EISDIR);
  return file == nullptr ? std::strerror(error) : "";
}

std::string SystemReason(int error, const std::string& path) {
  return IsFolder(path) ? std::strerror(EISDIR) : std::strerror(error);
}
