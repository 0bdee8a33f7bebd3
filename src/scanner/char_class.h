// SPDX-License-Identifier: MIT
// Byte classes of the map text. One 256-entry table maps every byte to a bit set, so the
// scanner and the value conversion test a class with one load and one mask, independent of
// any locale. Bytes 0x80-0xFF and NUL belong to no class.
#pragma once

#include <array>
#include <cstdint>

#include "common/map_vocabulary.h"

namespace k8map {

enum CharClass : std::uint8_t {
  kNameStart = 1 << 0,      // A-Z a-z _
  kNameChar = 1 << 1,       // name start and 0-9
  kSkipWordChar = 1 << 2,   // name character and -
  kTrailWordChar = 1 << 3,  // skip-word character and * [ ]
  kBlank = 1 << 4,          // space, tab, form feed
  kNameEndBlank = 1 << 5,   // space, tab
  kHexDigit = 1 << 6,       // 0-9 A-F a-f
  kWhiteSpace = 1 << 7,     // HT LF VT FF CR space (value conversion)
};

constexpr std::array<std::uint8_t, 256> MakeCharClassTable() {
  std::array<std::uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    bool upper = c >= 'A' && c <= 'Z';
    bool lower = c >= 'a' && c <= 'z';
    bool digit = c >= '0' && c <= '9';
    std::uint8_t bits = 0;
    if (upper || lower || c == '_') bits |= kNameStart;
    if (upper || lower || c == '_' || digit) bits |= kNameChar | kSkipWordChar | kTrailWordChar;
    if (c == '-') bits |= kSkipWordChar | kTrailWordChar;
    if (c == '*' || c == '[' || c == ']') bits |= kTrailWordChar;
    if (c == ' ' || c == '\t' || c == '\f') bits |= kBlank;
    if (c == ' ' || c == '\t') bits |= kNameEndBlank;
    if (HexDigitValue(static_cast<unsigned char>(c)) >= 0) bits |= kHexDigit;
    if (c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == ' ') {
      bits |= kWhiteSpace;
    }
    table[c] = bits;
  }
  return table;
}

inline constexpr std::array<std::uint8_t, 256> kCharClass = MakeCharClassTable();

constexpr bool IsClass(unsigned char c, std::uint8_t mask) {
  return (kCharClass[c] & mask) != 0;
}

// Upper-cases a-z only; every other byte is returned unchanged.
constexpr char ToUpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

}  // namespace k8map
