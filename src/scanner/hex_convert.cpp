// SPDX-License-Identifier: MIT
#include "scanner/hex_convert.h"

#include <cstring>

#include "common/map_vocabulary.h"
#include "scanner/char_class.h"

namespace k8map {
namespace {

constexpr int kMaxDigits = 8;

// The value of the digits between begin and end; false when a byte is no hexadecimal digit.
bool HexDigitsValue(const char* begin, const char* end, std::uint32_t* value) {
  std::uint32_t v = 0;
  for (const char* p = begin; p < end; ++p) {
    int digit = HexDigitValue(static_cast<unsigned char>(*p));
    if (digit < 0) return false;
    v = (v << 4) | static_cast<std::uint32_t>(digit);
  }
  *value = v;
  return true;
}

// Checks and converts the digits between begin and end; the tests run in the documented order:
// a non-digit first, then the digit count.
int ConvertDigits(const char* begin, const char* end, std::uint32_t* slot) {
  std::uint32_t value;
  if (!HexDigitsValue(begin, end, &value)) return ConvErrSyntax;
  if (end - begin > kMaxDigits) return ConvErrDigits;
  *slot = value;
  return ConvOk;
}

}  // namespace

void NormalizeValueText(char* text) {
  std::size_t length = std::strlen(text);
  std::size_t first = 0;
  while (first < length && IsClass(static_cast<unsigned char>(text[first]), kWhiteSpace)) ++first;
  std::memmove(text, text + first, length - first + 1);
  length -= first;
  while (length > 0 && IsClass(static_cast<unsigned char>(text[length - 1]), kWhiteSpace)) {
    --length;
  }
  text[length] = '\0';
  for (std::size_t i = 0; i < length; ++i) text[i] = ToUpperAscii(text[i]);
}

int ConvertHexText(const char* text, std::uint32_t* slot) {
  const void* terminator = std::memchr(text, '\0', kMaxValueTextLength + 1);
  if (terminator == nullptr) return ConvErrLength;

  char work[kMaxValueTextLength + 1];
  std::size_t length = static_cast<const char*>(terminator) - text;
  std::memcpy(work, text, length + 1);
  NormalizeValueText(work);
  std::size_t n = std::strlen(work);

  if (n >= 2 && work[0] == '0' && work[1] == 'X') {
    if (n == 2) return ConvErrLength;
    return ConvertDigits(work + 2, work + n, slot);
  }
  if (n >= 1 && work[n - 1] == 'H') {
    if (n == 1) return ConvErrLength;
    return ConvertDigits(work, work + n - 1, slot);
  }
  return ConvErrSyntax;
}

}  // namespace k8map
