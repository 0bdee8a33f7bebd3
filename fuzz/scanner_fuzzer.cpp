// SPDX-License-Identifier: MIT
// The scanner alone: token codes, line ends, the line counter and token texts checked against
// the filtered input on every input.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "scanner/char_class.h"
#include "scanner/hex_convert.h"
#include "scanner/scanner.h"

namespace {

using k8map::fuzz::Check;

// The input as the rules see it: carriage returns dropped, ended at the first Ctrl-Z.
std::string Filtered(const std::uint8_t* data, std::size_t size) {
  std::string out;
  for (std::size_t i = 0; i < size && data[i] != 0x1a; ++i) {
    if (data[i] != '\r') out += static_cast<char>(data[i]);
  }
  return out;
}

// A value token carries what ConvertHexText makes of its upper-cased text without "(d)".
void CheckValue(const k8map::Scanner& scanner, std::string text) {
  if (text.size() > 3 && text[text.size() - 3] == '(') text.resize(text.size() - 3);
  for (char& c : text) c = k8map::ToUpperAscii(c);
  std::uint32_t number = 0;
  bool converted = k8map::ConvertHexText(text.c_str(), &number) == k8map::ConvOk;
  Check(scanner.value.converted == converted, "value converted as ConvertHexText says");
  Check(!converted || scanner.value.number == number, "value as ConvertHexText gives it");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  k8map::fuzz::WriteInput(data, size);
  std::string input = Filtered(data, size);
  std::FILE* file = k8map::OpenMapFile(k8map::fuzz::InputPath().c_str());
  Check(file != nullptr, "input file opens");
  static k8map::Scanner scanner;
  k8map::ResetScanner(scanner, file);
  std::size_t cursor = 0;
  int line_ends = 0;
  bool fatal = false;
  try {
    for (;;) {
      int code = k8map::NextToken(scanner);
      Check(code == 0 || (code >= 257 && code <= 266), "token code 0 or 257 to 266");
      std::string text(scanner.token_text, static_cast<std::size_t>(scanner.token_length));
      Check(text.size() <= 8191, "token text of at most 8191 bytes");
      if (code == 0) {
        Check(text.empty(), "empty text at the end of input");
        break;
      }
      bool line_end = code == k8map::LINE_END || code == k8map::ENTRY_LINE_END;
      Check(line_end == (text == "\n"), "only line-end tokens carry a line feed, as their text");
      Check(text.find('\n') == std::string::npos || line_end, "no line feed in other tokens");
      if (code == k8map::HEX_VALUE) CheckValue(scanner, text);
      std::size_t at = input.find(text, cursor);
      Check(at != std::string::npos, "token text found in order in the input");
      std::size_t next_feed = input.find('\n', cursor);
      Check(line_end ? next_feed == at : next_feed >= at + text.size(), "no line feed skipped");
      cursor = at + text.size();
      line_ends += line_end ? 1 : 0;
      Check(scanner.line_counter == line_ends + 1, "line counter is 1 plus the line ends");
    }
  } catch (const k8map::ScannerFailure& failure) {
    fatal = true;
    Check(failure.fault == k8map::ScannerFault::kTokenTooLarge, "only the length limit");
  }
  std::fclose(file);
  if (!fatal) {
    int feeds = 0;
    for (char c : input) feeds += c == '\n';
    Check(line_ends == feeds, "every line feed is exactly one line-end token");
  }
  return 0;
}
