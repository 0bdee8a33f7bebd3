// SPDX-License-Identifier: MIT
// The notation of addresses and offsets on the command line: hexadecimal, with or without
// "0x" or "0X", any number of leading zeros, at most 32 bits of value.
#pragma once

#include <cstdint>
#include <string_view>

#include "hex_digits.h"

inline constexpr const char* kNumberForms =
    "hexadecimal, with or without 0x, at most 32 bits (1000, 0x1000, 0x00001000)";

// The value of text in that notation; false when text is not in it.
bool ParseNumber(std::string_view text, std::uint32_t* value);

// An address farther than this above the nearest symbol is not answered unless --max-offset
// says otherwise: a stack or heap pointer is no code address of the last symbol.
inline constexpr std::uint32_t kDefaultMaxOffset = 0x10000;

// --max-offset's value: a number in that notation, or "none" for no bound; false otherwise.
bool ParseMaxOffset(std::string_view text, std::uint32_t* max_offset);
