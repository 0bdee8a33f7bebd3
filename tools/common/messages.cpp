// SPDX-License-Identifier: MIT
#include "messages.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

void Say(std::string_view text) {
  std::string line = kProgramName;
  line += ": ";
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

std::string OneLine(std::string_view message) {
  if (!message.empty() && message.back() == '\n') message.remove_suffix(1);
  std::string line;
  for (char c : message) {
    if (c == '\n') {
      line += "\\n";
    } else {
      line += c;
    }
  }
  return line;
}
