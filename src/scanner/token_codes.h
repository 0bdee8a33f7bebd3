// SPDX-License-Identifier: MIT
// Token codes that the scanner returns and the grammar reads.
#pragma once

namespace k8map {

// Every token, in the order of its code from 257: its code's name and the grammar's terminal
// for it. The one list that the codes, their names and the grammar's terminals come from.
#define K8MAP_TOKENS(X)            \
  X(LINE_END, kLineEnd)            \
  X(ENTRY_LINE_END, kEntryLineEnd) \
  X(SCOPE, kScope)                 \
  X(HEX_VALUE, kHexValue)          \
  X(ADDRESS_KIND, kAddressKind)    \
  X(SYMBOL_KIND, kSymbolKind)      \
  X(NAME, kName)                   \
  X(NAME_PART, kNamePart)          \
  X(DIGIT_PART, kDigitPart)        \
  X(WORD, kWord)

enum TokenCode : int {
  END_OF_INPUT = 0,
  kBeforeFirstToken = 256,  // the codes of characters end here
#define K8MAP_TOKEN_CODE(code, terminal) code,
  K8MAP_TOKENS(K8MAP_TOKEN_CODE)
#undef K8MAP_TOKEN_CODE
      kAfterLastToken
};

inline constexpr int kFirstTokenCode = kBeforeFirstToken + 1;
inline constexpr int kLastTokenCode = kAfterLastToken - 1;
static_assert(kFirstTokenCode == LINE_END && kLastTokenCode == WORD);

// Name of a token code ("LINE_END", ...), or null for a code that is no token.
const char* TokenName(int code);

}  // namespace k8map
