// SPDX-License-Identifier: MIT
// The value of a hexadecimal digit by byte: one table for every reader of hexadecimal text in
// the programs and the writers.
#pragma once

struct HexDigitTable {
  signed char value[256];
  constexpr HexDigitTable() : value() {
    for (int c = 0; c < 256; ++c) {
      value[c] = c >= '0' && c <= '9'   ? static_cast<signed char>(c - '0')
                 : c >= 'a' && c <= 'f' ? static_cast<signed char>(c - 'a' + 10)
                 : c >= 'A' && c <= 'F' ? static_cast<signed char>(c - 'A' + 10)
                                        : -1;
    }
  }
};
inline constexpr HexDigitTable kHexDigitTable;

// A hexadecimal digit's value; -1 for any other byte.
inline int HexDigitValue(unsigned char c) {
  return kHexDigitTable.value[c];
}
