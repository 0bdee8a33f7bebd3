// SPDX-License-Identifier: MIT
#include "scanner/hex_convert.h"

#include <cstring>

#include "common/map_vocabulary.h"
#include "scanner/char_class.h"

namespace k8map {
namespace {

constexpr int kMaxDigits = 8;

// Checks and converts the digits between begin and end; the tests run in the documented order:
// a non-digit first, then the digit count. The digits lie in a working copy with room for
// eight bytes after them.
int ConvertDigits(const char* begin, const char* end, std::uint32_t* slot) {
  for (const char* p = begin; p < end; ++p) {
    if (!IsClass(static_cast<unsigned char>(*p), kHexDigit)) return ConvErrSyntax;
  }
  if (end - begin > kMaxDigits) return ConvErrDigits;
  *slot = HexDigitsValue(begin, static_cast<int>(end - begin));
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
