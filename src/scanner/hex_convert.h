// SPDX-License-Identifier: MIT
// Conversion of hexadecimal value text ("0X1F" prefix or "1FH" suffix notation) to a
// 32-bit unsigned number. No state, no heap, no locale.
#pragma once

#include <cstdint>

#include "common/map_vocabulary.h"

namespace k8map {

inline constexpr int ConvOk = 0;
inline constexpr int ConvErrLength = 4097;  // 256+ characters, or prefix/suffix with no digits
inline constexpr int ConvErrSyntax = 4098;  // no prefix or suffix, or a non-digit inside
inline constexpr int ConvErrDigits = 4099;  // more than eight digits

// The longest text that fits the working copy, without its terminator.
inline constexpr int kMaxValueTextLength = kLongestName;

// Converts text into *slot and returns ConvOk, or returns one of the error codes and leaves
// *slot untouched. The caller's text is never modified.
int ConvertHexText(const char* text, std::uint32_t* slot);

// Rewrites a text of at most 255 characters in place: white space removed at both ends,
// then a-z upper-cased.
void NormalizeValueText(char* text);

}  // namespace k8map
