// SPDX-License-Identifier: MIT
#include "scanner/token_codes.h"

namespace k8map {

const char* TokenName(int code) {
  // Kept in the order of the codes, LINE_END (257) first.
  static const char* const kNames[] = {
      "LINE_END",    "ENTRY_LINE_END", "SCOPE",     "HEX_VALUE",  "ADDRESS_KIND",
      "SYMBOL_KIND", "NAME",           "NAME_PART", "DIGIT_PART", "WORD",
  };
  if (code == END_OF_INPUT) return "END_OF_INPUT";
  if (code < kFirstTokenCode || code > kLastTokenCode) return nullptr;
  return kNames[code - kFirstTokenCode];
}

}  // namespace k8map
