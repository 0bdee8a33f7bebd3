// SPDX-License-Identifier: MIT
// Conversion of hexadecimal value text ("0X1F" prefix or "1FH" suffix notation) to a
// 32-bit unsigned number, and the conversion of digits to their value that every reader of
// values uses. No state, no heap, no locale.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "common/map_vocabulary.h"

namespace k8map {

inline constexpr int ConvOk = 0;
inline constexpr int ConvErrLength = 4097;  // 256+ characters, or prefix/suffix with no digits
inline constexpr int ConvErrSyntax = 4098;  // no prefix or suffix, or a non-digit inside
inline constexpr int ConvErrDigits = 4099;  // more than eight digits

// The longest text that fits the working copy, without its terminator.
inline constexpr int kMaxValueTextLength = kLongestName;

// The value of one to eight hexadecimal digits at text, already known to be digits; reads
// eight bytes from text on. Every path's values are converted here.
inline std::uint32_t HexDigitsValue(const char* text, int digits) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t w;
    std::memcpy(&w, text, sizeof w);
    // Each byte to its digit value: '0'-'9' keep their low nibble, letters add 9.
    w = (w & 0x0F0F0F0F0F0F0F0Full) + 9 * ((w >> 6) & 0x0101010101010101ull);
    w = __builtin_bswap64(w) >> (8 * (8 - digits));  // first digit most significant
    w = (w | (w >> 4)) & 0x00FF00FF00FF00FFull;
    w = (w | (w >> 8)) & 0x0000FFFF0000FFFFull;
    return static_cast<std::uint32_t>(w | (w >> 16));
  } else {
    std::uint32_t value = 0;
    for (int i = 0; i < digits; ++i) {
      auto c = static_cast<unsigned char>(text[i]);
      value = value << 4 | ((c & 0xF) + 9 * (c >> 6));
    }
    return value;
  }
}

// Converts text into *slot and returns ConvOk, or returns one of the error codes and leaves
// *slot untouched. The caller's text is never modified.
int ConvertHexText(const char* text, std::uint32_t* slot);

// Rewrites a text of at most 255 characters in place: white space removed at both ends,
// then a-z upper-cased.
void NormalizeValueText(char* text);

}  // namespace k8map
