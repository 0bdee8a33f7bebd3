// SPDX-License-Identifier: MIT
// The words of the map format, written once: the kind keywords and which kinds are addresses,
// the scope letters, the name and token limits, and the values of hexadecimal digits. The
// scanner's rules, the kind names of the API and the benchmark's generated maps take them from
// here; the keywords, scope letters and name limit themselves stand in the public header, which
// hosts (mapsyms, the Python package) read them from.
#pragma once

#include <cstdint>
#include <string_view>

#include "kestrum8_map.h"

namespace k8map {

inline constexpr int kKindCount = 7;  // K8MAP_KIND_ADDR to K8MAP_KIND_ARG

// By K8MAP_KIND_ value; entry 0 is no kind.
inline constexpr const char* kKindKeywords[kKindCount + 1] = {nullptr, K8MAP_KIND_KEYWORDS};

constexpr std::string_view KindKeyword(int kind) {
  return kKindKeywords[kind];
}

// kind: 0 (none) to kKindCount.
constexpr bool IsAddressKind(int kind) {
  return (K8MAP_KINDS_ADDRESS & K8MAP_KIND_MASK(kind)) != 0;
}

// The kind of a keyword exactly as a map writes it; 0 for any other text.
constexpr int KindByKeyword(std::string_view text) {
  for (int kind = 1; kind <= kKindCount; ++kind) {
    if (text == KindKeyword(kind)) return kind;
  }
  return 0;
}

inline constexpr std::string_view kScopeLetters = K8MAP_SCOPE_LETTERS;

// Every comparison made, none branched on: the scanner asks this of every entry line.
constexpr bool IsScopeLetter(unsigned char c) {
  return (static_cast<int>(c == kScopeLetters[0]) | static_cast<int>(c == kScopeLetters[1]) |
          static_cast<int>(c == kScopeLetters[2])) != 0;
}

// A name is cut to this many bytes; a value's text longer than this does not convert.
inline constexpr int kLongestName = K8MAP_NAME_MAX;
// A token of this many bytes or more stops the scanner: it would not fit its text buffer.
inline constexpr int kTokenLimit = 8192;

// The value of a hexadecimal digit by byte; -1 for any other byte.
struct HexDigitValues {
  signed char value[256];
  constexpr HexDigitValues() : value() {
    for (int c = 0; c < 256; ++c) {
      value[c] = c >= '0' && c <= '9'   ? static_cast<signed char>(c - '0')
                 : c >= 'a' && c <= 'f' ? static_cast<signed char>(c - 'a' + 10)
                 : c >= 'A' && c <= 'F' ? static_cast<signed char>(c - 'A' + 10)
                                        : -1;
    }
  }
};
inline constexpr HexDigitValues kHexDigitValues;

constexpr int HexDigitValue(unsigned char c) {
  return kHexDigitValues.value[c];
}

}  // namespace k8map
