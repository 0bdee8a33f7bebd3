// SPDX-License-Identifier: MIT
#include "test_util.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "test_files.h"

namespace k8map::test {

std::string WriteTempFile(const std::string& content) {
  static std::atomic<int> counter{0};
  std::string path = TempFolderPath("t" + std::to_string(counter++) + ".map");
  WriteFile(path, content);
  return path;
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

ScannerOnFile::ScannerOnFile(const std::string& content)
    : ScannerOnFile(OpenMapFile(WriteTempFile(content).c_str())) {}

ScannerOnFile::ScannerOnFile(std::FILE* file) : scanner_(std::make_unique<Scanner>()), file_(file) {
  ResetScanner(*scanner_, file_);
}

ScannerOnFile::~ScannerOnFile() {
  if (file_ != nullptr) std::fclose(file_);
}

std::string DescribeToken(const Scanner& scanner, int code) {
  if (code == END_OF_INPUT) return "END";
  const char* name = TokenName(code);
  std::string text = "?";
  text += name != nullptr ? std::string(name) : std::to_string(code);
  if (name != nullptr) text.erase(0, 1);
  if (code == NAME || code == NAME_PART || code == DIGIT_PART || code == WORD) {
    return text + "(" + scanner.value.text + ")";
  }
  if (code == HEX_VALUE) {
    if (!scanner.value.converted) return text + "(unconverted)";
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(scanner.value.number));
    return text + "(" + number + ")";
  }
  return text;
}

std::string TokenStream(const std::string& content) {
  ScannerOnFile on(content);
  std::string out;
  try {
    for (;;) {
      int code = NextToken(on.get());
      if (!out.empty()) out += ' ';
      out += DescribeToken(on.get(), code);
      if (code == END_OF_INPUT) break;
    }
  } catch (const ScannerFailure& failure) {
    if (!out.empty()) out += ' ';
    out += std::string("FATAL(") + failure.message() + ")";
  }
  return out;
}

}  // namespace k8map::test
