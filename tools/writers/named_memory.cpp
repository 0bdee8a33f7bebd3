// SPDX-License-Identifier: MIT
#include "named_memory.h"

#include "hex_digits.h"
namespace k8writers {

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// Digits in base 10 or 16 (after "0x"), at most 2^32; false for anything else.
bool ParseDigits(std::string_view text, bool decimal, std::uint64_t* value) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    decimal = false;
  }
  if (text.empty()) return false;
  std::uint64_t number = 0;
  for (char c : text) {
    int digit = HexDigitValue(static_cast<unsigned char>(c));
    if (digit < 0 || (decimal && digit > 9)) return false;
    number = number * (decimal ? 10 : 16) + static_cast<unsigned>(digit);
    if (number > 0x100000000) return false;
  }
  *value = number;
  return true;
}

// A size: hexadecimal, or decimal followed by K (KiB) or M (MiB).
bool ParseSize(std::string_view text, std::uint64_t* size) {
  std::uint64_t unit = 1;
  if (!text.empty() && (text.back() == 'K' || text.back() == 'k')) unit = 1024;
  if (!text.empty() && (text.back() == 'M' || text.back() == 'm')) unit = 1024 * 1024;
  if (unit > 1) text.remove_suffix(1);
  std::uint64_t number = 0;
  if (!ParseDigits(text, unit > 1, &number) || number * unit > 0x100000000) return false;
  *size = number * unit;
  return true;
}

}  // namespace

bool ParseMemory(std::string_view text, NamedMemory* memory, std::string* error) {
  text = Trimmed(text);
  std::size_t equals = text.find('='), comma = text.find(',');
  std::uint64_t start = 0, size = 0;
  bool ok = equals != std::string_view::npos && equals > 0 && comma != std::string_view::npos &&
            comma > equals &&
            ParseDigits(Trimmed(text.substr(equals + 1, comma - equals - 1)), false, &start) &&
            start <= 0xFFFFFFFF && ParseSize(Trimmed(text.substr(comma + 1)), &size);
  std::string_view name = ok ? Trimmed(text.substr(0, equals)) : std::string_view();
  if (!ok || name.empty() || name.find_first_of(" \t,") != std::string_view::npos) {
    *error = "a memory is " + std::string(kMemoryForm) + ", not \"" + std::string(text) + "\"";
    return false;
  }
  if (size == 0 || start + size > 0x100000000) {
    *error = "memory " + std::string(name) + (size == 0 ? " has no size" : " runs past 0xFFFFFFFF");
    return false;
  }
  *memory = {std::string(name), static_cast<std::uint32_t>(start), size};
  return true;
}

bool ParseMemoryList(std::string_view text, std::vector<NamedMemory>* memories,
                     std::string* error) {
  std::size_t number = 0;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = Trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (line.empty() || line.front() == '#') continue;
    NamedMemory memory;
    if (!ParseMemory(line, &memory, error)) {
      *error = "line " + std::to_string(number) + ": " + *error;
      return false;
    }
    memories->push_back(std::move(memory));
  }
  return true;
}

bool MemoriesApart(const std::vector<NamedMemory>& memories, std::string* error) {
  for (std::size_t a = 0; a < memories.size(); ++a) {
    for (std::size_t b = a + 1; b < memories.size(); ++b) {
      const NamedMemory &x = memories[a], &y = memories[b];
      if (x.name == y.name) {
        *error = "memory " + x.name + " is given twice";
        return false;
      }
      if (x.start < y.start + y.size && y.start < x.start + x.size) {
        *error = "memories " + x.name + " and " + y.name + " overlap";
        return false;
      }
    }
  }
  return true;
}

}  // namespace k8writers
