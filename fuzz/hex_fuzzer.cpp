// SPDX-License-Identifier: MIT
// ConvertHexText against a simple independent model of its contract.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "scanner/hex_convert.h"

namespace {

using k8map::fuzz::Check;

bool Space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool Hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// The contract: 256+ characters fail with 4097; otherwise trim white space and upper-case; a
// "0X" prefix or (else) an "H" suffix with one to eight hex digits converts; no digits is 4097,
// a non-digit 4098, nine or more digits 4099; anything else 4098.
int Model(const std::string& text, std::uint32_t* value) {
  if (text.size() >= 256) return 4097;
  std::size_t begin = 0, end = text.size();
  while (begin < end && Space(text[begin])) ++begin;
  while (end > begin && Space(text[end - 1])) --end;
  std::string t = text.substr(begin, end - begin);
  for (char& c : t) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  std::string digits;
  if (t.size() >= 2 && t[0] == '0' && t[1] == 'X') {
    digits = t.substr(2);
  } else if (!t.empty() && t.back() == 'H') {
    digits = t.substr(0, t.size() - 1);
  } else {
    return 4098;
  }
  if (digits.empty()) return 4097;
  for (char c : digits) {
    if (!Hex(c)) return 4098;
  }
  if (digits.size() > 8) return 4099;
  *value = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\0'));
  std::string copy = text;
  constexpr std::uint32_t kSentinel = 0xA5A5A5A5;
  std::uint32_t slot = kSentinel, model_value = kSentinel;
  int code = k8map::ConvertHexText(copy.c_str(), &slot);
  int model = Model(text, &model_value);
  Check(code == model, "result code matches the model");
  Check(slot == model_value, "slot written on success only, with the model's value");
  Check(copy == text, "caller's text unchanged");
  return 0;
}
