// SPDX-License-Identifier: MIT
#include "glob.h"

namespace {

// Matches the set at pattern[i] (just past '[') against c; stores the index past its ']' in
// *end and whether there was a ']' in *closed (without one, '[' stands for itself).
bool SetMatches(std::string_view pattern, std::size_t i, char c, std::size_t* end, bool* closed) {
  bool negate = i < pattern.size() && pattern[i] == '!';
  if (negate) ++i;
  bool found = false;
  std::size_t start = i;
  while (i < pattern.size() && (pattern[i] != ']' || i == start)) {
    if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
      found |= pattern[i] <= c && c <= pattern[i + 2];
      i += 3;
    } else {
      found |= pattern[i] == c;
      ++i;
    }
  }
  *closed = i < pattern.size();
  *end = i + 1;
  return found != negate;
}

}  // namespace

// Iterative matching with one backtrack point, the last '*'.
bool GlobMatch(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0, star = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
      continue;
    }
    if (p < pattern.size()) {
      if (pattern[p] == '?') {
        ++p, ++n;
        continue;
      }
      if (pattern[p] == '[') {
        std::size_t end = 0;
        bool closed = false;
        bool match = SetMatches(pattern, p + 1, name[n], &end, &closed);
        if (closed) {
          if (match) {
            p = end, ++n;
            continue;
          }
        } else if (name[n] == '[') {
          ++p, ++n;
          continue;
        }
      } else if (pattern[p] == name[n]) {
        ++p, ++n;
        continue;
      }
    }
    if (star == std::string_view::npos) return false;
    p = star + 1;
    n = ++star_n;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}
