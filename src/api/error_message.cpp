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

ErrorMessage& ErrorMessage::Number(unsigned long long value) {
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) Put(digits[--count]);
  return *this;
}

void ErrorMessage::Finish() {
  Put('\n');
  if (cut_) buffer_[size_ - 2] = '\n';
  buffer_[length_] = '\0';
}

}  // namespace k8map
