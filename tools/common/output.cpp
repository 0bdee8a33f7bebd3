// SPDX-License-Identifier: MIT
#include "output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "escape.h"
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

char* WriteHexNumber(char* at, std::uint64_t value) {
  *at++ = '0';
  *at++ = 'x';
  int digits = 1;
  while (digits < 16 && (value >> (4 * digits)) != 0) ++digits;
  for (int i = digits - 1; i >= 0; --i) *at++ = "0123456789ABCDEF"[(value >> (4 * i)) & 0xF];
  return at;
}

std::string HexNumber(std::uint64_t value) {
  char text[18];
  return std::string(text, WriteHexNumber(text, value));
}

namespace {

// Valid JSON whatever the bytes: a byte that is not part of well-formed UTF-8 (a file name in
// another encoding) is written as \u00XX, the character of that number.
constexpr EscapeRules kJsonString = [] {
  EscapeRules rules;
  rules.KeepPrintable("\"\\").Own('"', "\\\"").Own('\\', "\\\\");
  rules.kept[0x7F] = true;
  rules.numbered = "\\u%04x";
  rules.utf8 = true;
  return rules;
}();

}  // namespace

void PutJsonString(Output& out, std::string_view text) {
  out.Put("\"");
  out.Put(KeptWhole(text, kJsonString) ? text : std::string_view(Escaped(text, kJsonString)));
  out.Put("\"");
}

void PutCsvField(Output& out, std::string_view text) {
  if (text.find_first_of(",\"\n\r") == std::string_view::npos) return out.Put(text);
  out.Put("\"");
  for (char c : text) out.Put(c == '"' ? std::string_view("\"\"") : std::string_view(&c, 1));
  out.Put("\"");
}
