// The notation of addresses and offsets on the command line: hexadecimal, with or without
// "0x" or "0X", any number of leading zeros, at most 32 bits of value.
#pragma once

#include <cstdint>
#include <string_view>

inline constexpr const char* kNumberForms =
    "hexadecimal, with or without 0x, at most 32 bits (1000, 0x1000, 0x00001000)";

// The value of text in that notation; false when text is not in it.
bool ParseNumber(std::string_view text, std::uint32_t* value);
