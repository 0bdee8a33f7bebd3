// SPDX-License-Identifier: MIT
// Token codes that the scanner returns and the grammar reads.
#pragma once

namespace k8map {

enum TokenCode : int {
  END_OF_INPUT = 0,
  LINE_END = 257,
  ENTRY_LINE_END = 258,
  SCOPE = 259,
  HEX_VALUE = 260,
  ADDRESS_KIND = 261,
  SYMBOL_KIND = 262,
  NAME = 263,
  NAME_PART = 264,
  DIGIT_PART = 265,
  WORD = 266,
};

inline constexpr int kFirstTokenCode = LINE_END;
inline constexpr int kLastTokenCode = WORD;

// Name of a token code ("LINE_END", ...), or null for a code that is no token.
const char* TokenName(int code);

}  // namespace k8map
