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

// The length of the well-formed UTF-8 sequence of two to four bytes at text[i], or 0 when the
// bytes there are none (a stray continuation byte, an overlong form, a surrogate, past U+10FFFF,
// cut short).
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead < 0xC2 || lead > 0xF4 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  unsigned char second = byte(i + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
    return 0;
  }
  return length;
}

void PutJsonEscape(Output& out, unsigned char c) {
  char escaped[8];
  int length = std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
  out.Put(std::string_view(escaped, static_cast<std::size_t>(length)));
}

}  // namespace

// Valid JSON whatever the bytes: a byte that is not part of well-formed UTF-8 (a file name in
// another encoding) is written as \u00XX, the character of that number.
void PutJsonString(Output& out, std::string_view text) {
  out.Put("\"");
  for (std::size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      char escaped[2] = {'\\', text[i]};
      out.Put(std::string_view(escaped, 2));
    } else if (c < 0x20) {
      PutJsonEscape(out, c);
    } else if (c >= 0x80) {
      std::size_t length = Utf8SequenceAt(text, i);
      if (length == 0) {
        PutJsonEscape(out, c);
      } else {
        out.Put(text.substr(i, length));
        i += length;
        continue;
      }
    } else {
      *out.Reserve(1) = text[i];
    }
    ++i;
  }
  out.Put("\"");
}

void PutCsvField(Output& out, std::string_view text) {
  if (text.find_first_of(",\"\n\r") == std::string_view::npos) return out.Put(text);
  out.Put("\"");
  for (char c : text) out.Put(c == '"' ? std::string_view("\"\"") : std::string_view(&c, 1));
  out.Put("\"");
}
