// SPDX-License-Identifier: MIT
#include "api/error_message.h"

namespace k8map {

void ErrorMessage::Put(char c) {
  if (length_ + 1 < size_) {
    buffer_[length_++] = c;
  } else {
    cut_ = true;
  }
}

ErrorMessage& ErrorMessage::Text(const char* text) {
  for (const char* p = text; *p != '\0' && !cut_; ++p) Put(*p);
  return *this;
}

ErrorMessage& ErrorMessage::Number(long long value) {
  char digits[24];
  int count = 0;
  unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) Put('-');
  while (count > 0) Put(digits[--count]);
  return *this;
}

void ErrorMessage::Finish() {
  Put('\n');
  if (cut_) buffer_[size_ - 2] = '\n';
  buffer_[length_] = '\0';
}

}  // namespace k8map
