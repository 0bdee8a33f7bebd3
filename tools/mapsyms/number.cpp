// SPDX-License-Identifier: MIT
#include "number.h"

#include "kestrum8_map.h"

bool ParseNumber(std::string_view text, std::uint32_t* value) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  if (text.empty()) return false;
  std::uint64_t result = 0;
  for (char c : text) {
    int digit = HexDigitValue(static_cast<unsigned char>(c));
    if (digit < 0) return false;
    result = result << 4 | static_cast<std::uint64_t>(digit);
    if (result > 0xFFFFFFFFu) return false;
  }
  *value = static_cast<std::uint32_t>(result);
  return true;
}

bool ParseMaxOffset(std::string_view text, std::uint32_t* max_offset) {
  if (text == "none") return *max_offset = K8MAP_NO_LIMIT, true;
  return ParseNumber(text, max_offset);
}
