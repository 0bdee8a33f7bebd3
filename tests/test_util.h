// SPDX-License-Identifier: MIT
// Helpers shared by the unit tests: temporary map files and token streams as text.
#pragma once

#include <memory>
#include <string>

#include "scanner/scanner.h"

namespace k8map::test {

// Writes content to a fresh file in the temporary folder and returns its path.
std::string WriteTempFile(const std::string& content);

// Writes content to the file at path, replacing what it held.
void WriteFile(const std::string& path, const std::string& content);

// The bytes of the file at path; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// A scanner on the heap (it is large), reset onto an opened file that it owns.
class ScannerOnFile {
 public:
  explicit ScannerOnFile(const std::string& content);
  explicit ScannerOnFile(std::FILE* file);
  ~ScannerOnFile();
  Scanner& get() { return *scanner_; }

 private:
  std::unique_ptr<Scanner> scanner_;
  std::FILE* file_;
};

// Describes one token: "NAME(main)", "HEX_VALUE(0x00000100)", "HEX_VALUE(unconverted)",
// "LINE_END", ..., "END" for the end of input.
std::string DescribeToken(const Scanner& scanner, int code);

// The token stream of a map text, tokens separated by single spaces, "END" last. A fatal
// scanner failure appears as "FATAL(<message>)".
std::string TokenStream(const std::string& content);

}  // namespace k8map::test
