// SPDX-License-Identifier: MIT
#include "messages.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

void Say(std::string_view text) {
  std::string line = "mapsyms: ";
  line += text;
  if (line.back() != '\n') line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

std::string ShowPath(std::string_view path) {
  std::string shown;
  for (char ch : path) {
    auto c = static_cast<unsigned char>(ch);
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      shown += escaped;
    } else {
      shown += ch;
    }
  }
  return shown;
}

std::string OpenFailureReason(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::strerror(errno);
  struct stat info;
  bool directory = fstat(fileno(file), &info) == 0 && (info.st_mode & S_IFMT) == S_IFDIR;
  std::fclose(file);
  return directory ? std::strerror(EISDIR) : "";
}
