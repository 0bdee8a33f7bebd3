// SPDX-License-Identifier: MIT
#include "escape.h"

#include <cstdio>

std::size_t Utf8Length(std::string_view text, std::size_t at) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead < 0xC2 || lead > 0xF4 || at + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(at + k) & 0xC0) != 0x80) return 0;
  }
  unsigned char second = byte(at + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
    return 0;
  }
  return length;
}

void AppendEscaped(std::string& out, std::string_view text, const EscapeRules& rules) {
  for (std::size_t at = 0; at < text.size();) {
    auto c = static_cast<unsigned char>(text[at]);
    if (c >= 0x80 && rules.utf8) {
      std::size_t length = Utf8Length(text, at);
      if (length > 0) {
        out.append(text, at, length);
        at += length;
        continue;
      }
      if (rules.invalid != nullptr) {
        out += rules.invalid;
        ++at;
        continue;
      }
    } else if (rules.own[c] != nullptr) {
      out += rules.own[c];
      ++at;
      continue;
    } else if (rules.kept[c]) {
      out += static_cast<char>(c);
      ++at;
      continue;
    }
    char numbered[16];
    std::snprintf(numbered, sizeof numbered, rules.numbered, c);
    out += numbered;
    ++at;
  }
}

std::string Escaped(std::string_view text, const EscapeRules& rules) {
  std::string out;
  out.reserve(text.size());
  AppendEscaped(out, text, rules);
  return out;
}

bool KeptWhole(std::string_view text, const EscapeRules& rules) {
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (!rules.kept[byte] || rules.own[byte] != nullptr || (byte >= 0x80 && rules.utf8)) {
      return false;
    }
  }
  return true;
}
