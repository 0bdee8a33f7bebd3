// SPDX-License-Identifier: MIT
// maptokens FILE: prints the token stream of a map file, one token a line, so that a person
// can see why a map file is refused:
//   <line counter after the token> TAB <token name> TAB "<token text>" [TAB <value>]
// The value is the token value's text for name tokens, 0x%08X or "unconverted" for values.
#include <cstdio>
#include <string>

#include "scanner/scanner.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

void AppendEscaped(std::string& out, const char* text, int length) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  for (int i = 0; i < length; ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      default:
        if (c < 0x20 || c >= 0x7f) {
          out += "\\x";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

void AppendTokenLine(std::string& out, const k8map::Scanner& scanner, int code) {
  out += std::to_string(scanner.line_counter);
  out += '\t';
  out += k8map::TokenName(code);
  out += '\t';
  AppendEscaped(out, scanner.token_text, scanner.token_length);
  const k8map::TokenValue& value = scanner.value;
  if (code == k8map::NAME || code == k8map::NAME_PART || code == k8map::DIGIT_PART ||
      code == k8map::WORD) {
    out += '\t';
    AppendEscaped(out, value.text, value.text_length);
  } else if (code == k8map::HEX_VALUE) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(value.number));
    out += '\t';
    out += value.converted ? number : "unconverted";
  }
  out += '\n';
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  if (argc != 2) {
    std::fprintf(stderr, "usage: maptokens FILE\n");
    return 2;
  }
  std::FILE* file = k8map::OpenMapFile(argv[1]);
  if (file == nullptr) {
    std::fprintf(stderr, "can't open file %s\n", argv[1]);
    return 1;
  }
  static k8map::Scanner scanner;
  std::string out;
  int status = 0;
  try {
    k8map::ResetScanner(scanner, file);
    for (;;) {
      int code = k8map::NextToken(scanner);
      AppendTokenLine(out, scanner, code);
      if (out.size() > 65536 || code == k8map::END_OF_INPUT) {
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
      }
      if (code == k8map::END_OF_INPUT) break;
    }
  } catch (const k8map::ScannerFailure& failure) {
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    std::fprintf(stderr, "maptokens: %s\n", failure.message);
    status = 2;
  }
  std::fclose(file);
  return status;
}
