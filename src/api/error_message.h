// SPDX-License-Identifier: MIT
// Builds a failure message into the fixed error buffer. Pieces are appended with bounds; a
// message longer than the buffer is cut to its last room and still ends with a newline.
#pragma once

#include <cstddef>

namespace k8map {

class ErrorMessage {
 public:
  ErrorMessage(char* buffer, std::size_t size) : buffer_(buffer), size_(size) {}

  ErrorMessage& Text(const char* text);
  ErrorMessage& Number(unsigned long long value);  // line numbers: counted from 1
  // Ends the message with a line feed and its terminator, cutting it to fit when needed.
  void Finish();

 private:
  void Put(char c);

  char* buffer_;
  std::size_t size_;
  std::size_t length_ = 0;
  bool cut_ = false;
};

}  // namespace k8map
