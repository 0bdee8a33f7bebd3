// SPDX-License-Identifier: MIT
// maptokens [-h] [-V] [--] FILE: prints the token stream of a map file, one token a line, so
// that a person can see why a map file is refused:
//   <line counter after the token> TAB <token name> TAB "<token text>" [TAB <value>]
// The value is the token value's text for name tokens, 0x%08X or "unconverted" for values.
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "escape.h"
#include "exit_codes.h"
#include "kestrum8_map_version.h"
#include "messages.h"
#include "open_failure.h"
#include "output.h"
#include "scanner/scanner.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

const char kProgramName[] = "maptokens";

namespace {

// A token's text, quoted: line ends, tabs, carriage returns, backslashes and quotes by their
// escapes, other bytes outside printable ASCII as \xhh.
constexpr EscapeRules kTokenText = [] {
  EscapeRules rules;
  rules.KeepPrintable("\\\"")
      .Own('\n', "\\n")
      .Own('\t', "\\t")
      .Own('\r', "\\r")
      .Own('\\', "\\\\")
      .Own('"', "\\\"");
  rules.numbered = "\\x%02x";
  return rules;
}();

void AppendQuoted(std::string& out, const char* text, int length) {
  out += '"';
  AppendEscaped(out, std::string_view(text, static_cast<std::size_t>(length)), kTokenText);
  out += '"';
}

void AppendTokenLine(std::string& out, const k8map::Scanner& scanner, int code) {
  out += std::to_string(scanner.line_counter);
  out += '\t';
  out += k8map::TokenName(code);
  out += '\t';
  AppendQuoted(out, scanner.token_text, scanner.token_length);
  const k8map::TokenValue& value = scanner.value;
  if (code == k8map::NAME || code == k8map::NAME_PART || code == k8map::DIGIT_PART ||
      code == k8map::WORD) {
    out += '\t';
    AppendQuoted(out, value.text, value.text_length);
  } else if (code == k8map::HEX_VALUE) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(value.number));
    out += '\t';
    out += value.converted ? number : "unconverted";
  }
  out += '\n';
}

constexpr const char* kUsage = "usage: maptokens [-h] [-V] [--] FILE";
constexpr const char* kHelp = R"(usage: maptokens [-h] [-V] [--] FILE

Prints the token stream of a map file as the kestrum8_map library's scanner cuts it, one token a
line, to see why a map file is refused:
  LINE<TAB>TOKEN<TAB>"TEXT"[<TAB>VALUE]
LINE is the line counter after the token, TOKEN its name (LINE_END, NAME, HEX_VALUE, ...), TEXT
the matched text with \n, \t, \r, \\, \" and \xHH escapes, VALUE the token's value: the
text for names, 0x%08X or "unconverted" for values. The stream ends with END.

  -V, --version  print the version of maptokens
  -h, --help     print this help
  --             the next argument is the file, even when it begins with "-"

Exit codes: 0 success, 2 the command line is wrong, 3 the file could not be read (or the
scanner stopped: a token of 8192 bytes or more, a read error) or the output not written.
)";

int UsageError(const std::string& error) {
  Say(error);
  std::fprintf(stderr, "%s\nTry 'maptokens --help'.\n", kUsage);
  return kExitUsage;
}

// The tokens of the opened file, written as they come; the exit code.
int PrintTokens(std::FILE* file, const std::string& path, Output& out) {
  static k8map::Scanner scanner;  // large: not on the stack
  std::string line;
  try {
    k8map::ResetScanner(scanner, file);
    int code;
    do {
      code = k8map::NextToken(scanner);
      line.clear();
      AppendTokenLine(line, scanner, code);
      out.Put(line);
    } while (code != k8map::END_OF_INPUT);
  } catch (const k8map::ScannerFailure& failure) {
    out.Push();
    Say(path + ":" + std::to_string(scanner.line_counter) + ": " + failure.message());
    return kExitFile;
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  CommandLine line;
  std::string error;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!ParseCommandLine(args, {{"help", 'h', false}, {"version", 'V', false}}, &line, &error)) {
    return UsageError(error);
  }
  Output out;
  if (line.Has("help") || line.Has("version")) {
    out.Put(line.Has("help") ? kHelp : "maptokens " K8MAP_VERSION "\n");
    return out.Close() ? kExitOk : kExitFile;
  }
  if (line.operands.size() != 1) {
    return UsageError(line.operands.empty() ? "no map file given" : "one map file at a time");
  }
  const std::string& path = line.operands[0];
  std::FILE* file = k8map::OpenMapFile(path.c_str());
  if (file == nullptr) {
    Say("can't open file " + path + " (" + OpenFailureReason(path) + ")");
    return kExitFile;
  }
  int status = PrintTokens(file, path, out);
  std::fclose(file);
  return out.Close() ? status : kExitFile;
}
