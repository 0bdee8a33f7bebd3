#include "options.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseFormat(const std::string& text, OutputFormat* format) {
  if (text == "text")
    *format = OutputFormat::kText;
  else if (text == "csv")
    *format = OutputFormat::kCsv;
  else if (text == "json")
    *format = OutputFormat::kJson;
  else
    return false;
  return true;
}

}  // namespace

bool ParseAddress(const std::string& text, std::uint32_t* address) {
  std::size_t start =
      (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) ? 2 : 0;
  if (text.size() == start || text.size() - start > 8) return false;
  std::uint32_t value = 0;
  for (std::size_t i = start; i < text.size(); ++i) {
    int digit = HexDigit(text[i]);
    if (digit < 0) return false;
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  *address = value;
  return true;
}

bool ParseOptions(int argc, char** argv, Options* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "--format") {
      if (!value(&text)) return false;
      if (!ParseFormat(text, &options->format)) {
        *error = "unknown format " + text;
        return false;
      }
    } else if (arg == "--count") {
      options->count_only = true;
    } else if (arg == "--lookup") {
      if (!value(&text)) return false;
      if (!ParseAddress(text, &options->lookup_address)) {
        *error = "not a hexadecimal address: " + text;
        return false;
      }
      options->lookup = true;
    } else if (arg == "--name") {
      if (!value(&options->name)) return false;
      options->by_name = true;
    } else if (arg == "--version") {
      options->version = true;
    } else if (arg == "--help") {
      options->help = true;
    } else if (arg == "--") {
      for (++i; i < argc; ++i) options->files.push_back(argv[i]);
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option " + arg;
      return false;
    } else {
      options->files.push_back(arg);
    }
  }
  if (!options->help && !options->version && options->files.empty()) {
    *error = "no map file given";
    return false;
  }
  return true;
}
