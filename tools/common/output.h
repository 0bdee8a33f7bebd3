// SPDX-License-Identifier: MIT
// Standard output for the programs: gathered in blocks, every write checked. A failed write or
// close is reported once, with the system's reason, and makes the command fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class Output {
 public:
  Output();
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Put(std::string_view text);
  // Room for length more bytes (at most one block), filled by the caller.
  char* Reserve(std::size_t length);
  // Writes out what is gathered; false once any write failed.
  bool Flush();
  // The same, and hands it to the system at once, for a reader waiting on the other end.
  bool Push();
  // Flushes and closes standard output; false (with a message on standard error) when any
  // write or the close failed.
  bool Close();

 private:
  static constexpr std::size_t kBlock = 1 << 16;
  std::unique_ptr<char[]> block_;
  std::size_t used_ = 0;
  bool failed_ = false;
  bool closed_ = false;
};

// "0x" and eight upper-case hexadecimal digits, into ten bytes at text.
void WriteHex8(char* text, std::uint32_t value);
void PutHex8(Output& out, std::uint32_t value);
// "0x" and the digits without leading zeros: an offset or a difference. Written at `at` (at
// most 18 bytes), returning its end, or as a string.
char* WriteHexNumber(char* at, std::uint64_t value);
std::string HexNumber(std::uint64_t value);
void PutJsonString(Output& out, std::string_view text);
void PutCsvField(Output& out, std::string_view text);
