// SPDX-License-Identifier: MIT
// mapsyms check FILE...: the answer to "why is my symbol missing?". Reads each file's text
// itself, the way the library reads it (carriage returns dropped, a Ctrl-Z ends it), and says
// of every line that looks like a symbol entry but makes no record (or not the record one would
// expect) which line it is and why; then the library's parse of the file and its outcome.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "maps.h"
#include "out_of_memory.h"
#include "messages.h"
#include "number.h"

namespace {

constexpr std::string_view kKinds[] = {"Addr.", "loc.", "EQU", "bit", "Func.", "Var.", "arg."};
constexpr std::size_t kLongestName = 255;

bool Blank(char c) {
  return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}

bool NameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool NameChar(char c) {
  return NameStart(c) || (c >= '0' && c <= '9');
}

bool TrailChar(char c) {
  return NameChar(c) || c == '-' || c == '*' || c == '[' || c == ']';
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return lower;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && Blank(line[i])) ++i;
    std::size_t start = i;
    while (i < line.size() && !Blank(line[i])) ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

// The kind keyword that field is in another case, or that it resembles; empty for none.
std::string_view KindInOtherCase(std::string_view field) {
  for (std::string_view kind : kKinds) {
    if (Lower(field) == Lower(kind)) return kind;
  }
  return {};
}

bool IsKind(std::string_view field) {
  for (std::string_view kind : kKinds) {
    if (field == kind) return true;
  }
  return false;
}

// Whether the line is meant as a symbol entry: at least four fields, of which the second is a
// kind keyword in any case (or a word ending in '.') or the fourth a "0x" value.
bool LooksLikeEntry(const std::vector<std::string_view>& f) {
  if (f.size() < 4) return false;
  bool value = f[3].size() > 2 && f[3][0] == '0' && (f[3][1] == 'x' || f[3][1] == 'X');
  bool kind = !KindInOtherCase(f[1]).empty() || (f[1].size() > 1 && f[1].back() == '.');
  return value || kind;
}

// Why a line meant as an entry makes no record (or a changed one); empty when it is fine.
std::string Reason(std::string_view line, const std::vector<std::string_view>& f) {
  if (line[0] == '\t') return "begins with a tab: a symbol entry begins with a space";
  if (!Blank(line[0])) return "does not begin with a space: read as a heading, no record";
  std::string_view name = f[0], kind = f[1], scope = f[2], value = f[3];
  if (!NameStart(name[0])) {
    return "name '" + std::string(name) + "' does not begin with a letter or '_'";
  }
  if (!IsKind(kind)) {
    std::string_view meant = KindInOtherCase(kind);
    if (!meant.empty()) {
      return "kind '" + std::string(kind) + "' is not '" + std::string(meant) +
             "': kind keywords are case-sensitive";
    }
    return "unknown kind '" + std::string(kind) + "' (Addr., loc., EQU, bit, Func., Var., arg.)";
  }
  if (scope != "a" && scope != "g" && scope != "s") {
    if (scope == "A" || scope == "G" || scope == "S") {
      return "scope '" + std::string(scope) + "' must be lower case (a, g or s)";
    }
    return "scope '" + std::string(scope) + "' is not a, g or s";
  }
  if (value.size() < 3 || value[0] != '0' || value[1] != 'x') {
    if (value.size() > 1 && value[1] == 'X') {
      return "value '" + std::string(value) + "' needs a lower-case x in 0x";
    }
    return "value '" + std::string(value) + "' does not begin with 0x";
  }
  std::size_t digits = 2;
  while (digits < value.size() && HexDigitValue(static_cast<unsigned char>(value[digits])) >= 0)
    ++digits;
  std::string_view rest = value.substr(digits);
  bool suffix =
      rest.size() == 3 && rest[0] == '(' && rest[1] >= '0' && rest[1] <= '9' && rest[2] == ')';
  if (digits == 2 || (!rest.empty() && !suffix)) {
    return "value '" + std::string(value) + "' is not 0x and hexadecimal digits";
  }
  if (digits - 2 > 8) {
    return "value '" + std::string(value) + "' has " + std::to_string(digits - 2) +
           " digits: more than eight do not convert, no record";
  }
  for (std::size_t i = 4; i < f.size(); ++i) {
    for (char c : f[i]) {
      if (!TrailChar(c)) {
        return "'" + std::string(f[i]) + "' after the value is a syntax error (trailing words " +
               "are letters, digits, _ - * [ ])";
      }
    }
  }
  bool address = kind == "Addr." || kind == "loc.";
  if (address && name.size() > kLongestName) {
    return "name of " + std::to_string(name.size()) + " characters is cut at 255";
  }
  for (std::size_t i = 0; i < name.size(); ++i) {
    bool continued = name[i] == '+' && i + 1 == name.size();  // a name continued on the next line
    if (!NameChar(name[i]) && !continued) {
      return "name '" + std::string(name) + "' holds '" + std::string(1, name[i]) +
             "': names are letters, digits and _";
    }
  }
  return {};
}

// The text as the library reads it: carriage returns dropped, nothing after a Ctrl-Z.
struct MapText {
  std::string text;
  bool cut_at_ctrl_z = false;
};

bool ReadMapText(const std::string& path, MapText* map) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char block[1 << 16];
  std::size_t got;
  while (!map->cut_at_ctrl_z && (got = std::fread(block, 1, sizeof block, file)) > 0) {
    for (std::size_t i = 0; i < got; ++i) {
      if (block[i] == '\x1a') {
        map->cut_at_ctrl_z = true;
        break;
      }
      if (block[i] != '\r') map->text += block[i];
    }
  }
  std::fclose(file);
  return true;
}

// Says what is wrong with the lines of one file; returns how many findings there were.
int CheckLines(const std::string& path, const MapText& map, Output& out) {
  int findings = 0;
  std::string shown = ShowPath(path);
  auto report = [&](std::size_t line, const std::string& reason) {
    out.Put(shown + ":" + std::to_string(line) + ": " + reason + "\n");
    ++findings;
  };
  std::string_view text = map.text;
  std::size_t number = 1;
  for (std::size_t start = 0; start < text.size(); ++number) {
    std::size_t end = text.find('\n', start);
    bool has_end = end != std::string_view::npos;
    std::string_view line = text.substr(start, (has_end ? end : text.size()) - start);
    std::vector<std::string_view> fields = Fields(line);
    if (!line.empty() && LooksLikeEntry(fields)) {
      std::string reason = Reason(line, fields);
      if (!reason.empty()) report(number, reason);
    }
    if (!has_end) {
      report(number, "the last line has no line end: a syntax error, its entry makes no record");
      break;
    }
    start = end + 1;
  }
  if (map.cut_at_ctrl_z) {
    report(number, "a Ctrl-Z ends the input here: nothing after it is read");
  }
  return findings;
}

bool CheckCheck(const CommandLine& line, std::string* error) {
  if (line.operands.empty()) {
    *error = "no map file given";
    return false;
  }
  return true;
}

int RunCheck(const MapLibrary& lib, const CommandLine& line, Output& out) {
  int status = kExitOk;
  for (const std::string& path : line.operands) {
    MapText map;
    if (!ReadMapText(path, &map)) {
      Say("cannot read " + ShowPath(path) + " (" + OpenFailureReason(path) + ")");
      status = kExitFile;
      continue;
    }
    if (CheckLines(path, map, out) > 0 && status == kExitOk) status = kExitNo;
    // The parse itself, through the library; its records are the address symbols.
    SymbolTable* table = lib.create_symbol_table();
    if (table == nullptr) OutOfMemory();
    int result = lib.parse_map_file(table, path.c_str());
    const MapSymbol* symbols = lib.get_symbols(table);
    std::size_t count = 0;
    for (std::size_t i = 0; i < lib.get_symbol_count(table); ++i) {
      count += IsAddressKind(symbols[i].kind) ? 1 : 0;
    }
    std::string records = std::to_string(count) + (count == 1 ? " record" : " records");
    std::string outcome =
        result == 0 ? "parse succeeded, " + records + "\n"
                    : "parse failed after " + records + ": " + lib.get_symbol_table_error(table);
    out.Put(ShowPath(path) + ": " + outcome);
    lib.free_symbol_table(table);
    if (result != 0) status = kExitFile;
  }
  return status;
}

}  // namespace

const Command kCheckCommand = {
    "check",
    "mapsyms check FILE...",
    R"(Reads each FILE as the library reads it and prints, for every line that looks like a symbol
entry (four or more fields, with a kind keyword in any case as the second or a 0x value as the
fourth) but makes no record, or a changed one, "FILE:LINE: reason": a tab or no space at the
line start, a kind or scope in the wrong case, an unknown kind, a value that is not 0x and one
to eight hexadecimal digits, text after the value that is not a trailing word, a name cut at 255
characters, the last line without its line end, a Ctrl-Z that ends the input. Then the outcome
of the library's own parse: "FILE: parse succeeded, N records", or "FILE: parse failed after N
records: " and the library's message.
Entries of the kinds EQU, bit, Func., Var. and arg. make no record by design and are not listed.
Exit 0 when nothing was found, 1 when lines were found, 3 when a file could not be read or
parsed.

  -h, --help  print this help
)",
    {{"help", 'h', false}, {"version", 'V', false}},
    CheckCheck,
    RunCheck,
};
