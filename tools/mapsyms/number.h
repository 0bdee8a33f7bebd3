// SPDX-License-Identifier: MIT
// The notation of addresses and offsets on the command line: hexadecimal, with or without
// "0x" or "0X", any number of leading zeros, at most 32 bits of value.
#pragma once

#include <cstdint>
#include <string_view>

inline constexpr const char* kNumberForms =
    "hexadecimal, with or without 0x, at most 32 bits (1000, 0x1000, 0x00001000)";

// The value of a hexadecimal digit by byte; -1 for any other byte. One table for every reader
// of hexadecimal text in the tool.
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

inline int HexDigitValue(unsigned char c) {
  return kHexDigitTable.value[c];
}

// The value of text in that notation; false when text is not in it.
bool ParseNumber(std::string_view text, std::uint32_t* value);

// An address farther than this above the nearest symbol is not answered unless --max-offset
// says otherwise: a stack or heap pointer is no code address of the last symbol.
inline constexpr std::uint32_t kDefaultMaxOffset = 0x10000;

// --max-offset's value: a number in that notation, or "none" for no bound; false otherwise.
bool ParseMaxOffset(std::string_view text, std::uint32_t* max_offset);
