// SPDX-License-Identifier: MIT
// Bytes shown in a text that cannot hold them all as they are: a message, a finding, a comment
// in a written file, a JSON or HTML string. The one escaper of the programs; each caller keeps
// its own rules, as data.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// How a text shows each byte: kept as it is, given an escape of its own ("\\n", "&amp;"), or
// numbered in the caller's form ("\\x%02X", "\\u%04x"). Where utf8 is set, bytes from 0x80 on
// are kept when they form well-formed UTF-8 and otherwise replaced by `invalid` (numbered when
// that is null); else they follow kept and own as every byte does.
struct EscapeRules {
  std::array<bool, 256> kept{};
  std::array<const char*, 256> own{};
  const char* numbered = "\\x%02X";
  bool utf8 = false;
  const char* invalid = nullptr;

  // The printable ASCII bytes (0x20 to 0x7E) kept, but those of except.
  constexpr EscapeRules& KeepPrintable(std::string_view except = "") {
    for (int c = 0x20; c < 0x7F; ++c) kept[c] = except.find(static_cast<char>(c)) == except.npos;
    return *this;
  }
  constexpr EscapeRules& Own(char c, const char* escape) {
    own[static_cast<unsigned char>(c)] = escape;
    return *this;
  }
};

// The length of the UTF-8 sequence at text[at]: 1 for an ASCII byte, 2 to 4 for a well-formed
// sequence, 0 for any other byte there (a stray continuation byte, an overlong form, a
// surrogate, past U+10FFFF, cut short).
std::size_t Utf8Length(std::string_view text, std::size_t at);

void AppendEscaped(std::string& out, std::string_view text, const EscapeRules& rules);
std::string Escaped(std::string_view text, const EscapeRules& rules);
// Whether the rules keep every byte of text as it is.
bool KeptWhole(std::string_view text, const EscapeRules& rules);
