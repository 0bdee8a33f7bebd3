// SPDX-License-Identifier: MIT
#include "output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "messages.h"

Output::Output() : block_(new char[kBlock]) {}

Output::~Output() {
  Flush();
}

void Output::Put(std::string_view text) {
  if (text.size() > kBlock) {
    Flush();
    if (!failed_ && std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) failed_ = true;
    return;
  }
  std::memcpy(Reserve(text.size()), text.data(), text.size());
}

char* Output::Reserve(std::size_t length) {
  if (used_ + length > kBlock) Flush();
  char* at = block_.get() + used_;
  used_ += length;
  return at;
}

bool Output::Flush() {
  if (closed_) return !failed_;
  if (used_ > 0 && !failed_ && std::fwrite(block_.get(), 1, used_, stdout) != used_) {
    failed_ = true;
  }
  used_ = 0;
  return !failed_;
}

bool Output::Push() {
  if (!Flush() || closed_) return !failed_;
  if (std::fflush(stdout) != 0) failed_ = true;
  return !failed_;
}

bool Output::Close() {
  if (closed_) return !failed_;
  Flush();
  closed_ = true;
  if (!failed_ && std::fflush(stdout) != 0) failed_ = true;
  int error = errno;
  if (std::fclose(stdout) != 0 && !failed_) {
    failed_ = true;
    error = errno;
  }
  if (failed_) Say("cannot write standard output: " + std::string(std::strerror(error)));
  return !failed_;
}

void WriteHex8(char* text, std::uint32_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  text[0] = '0';
  text[1] = 'x';
  for (int i = 0; i < 8; ++i) text[2 + i] = kDigits[(value >> (28 - 4 * i)) & 0xF];
}

void PutHex8(Output& out, std::uint32_t value) {
  WriteHex8(out.Reserve(10), value);
}

std::string HexNumber(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

void PutJsonString(Output& out, std::string_view text) {
  out.Put("\"");
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      char escaped[2] = {'\\', ch};
      out.Put(std::string_view(escaped, 2));
    } else if (c < 0x20) {
      char escaped[8];
      int length = std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out.Put(std::string_view(escaped, static_cast<std::size_t>(length)));
    } else {
      *out.Reserve(1) = ch;
    }
  }
  out.Put("\"");
}

void PutCsvField(Output& out, std::string_view text) {
  if (text.find_first_of(",\"\n\r") == std::string_view::npos) return out.Put(text);
  out.Put("\"");
  for (char c : text) out.Put(c == '"' ? std::string_view("\"\"") : std::string_view(&c, 1));
  out.Put("\"");
}
