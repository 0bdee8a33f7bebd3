// SPDX-License-Identifier: MIT
#include "messages.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "escape.h"

void Say(std::string_view text) {
  std::string line = kProgramName;
  line += ": ";
  line += text;
  if (line.back() != '\n') line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

// A path in a message: line ends, tabs and other control bytes escaped, any other byte kept
// (a path may be in any encoding).
constexpr EscapeRules kPathShown = [] {
  EscapeRules rules;
  rules.KeepPrintable().Own('\n', "\\n").Own('\t', "\\t");
  for (int c = 0x80; c < 0x100; ++c) rules.kept[c] = true;
  rules.numbered = "\\x%02x";
  return rules;
}();

std::string ShowPath(std::string_view path) {
  return Escaped(path, kPathShown);
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
