// SPDX-License-Identifier: MIT
// mapsyms check FILE...: the answer to "why is my symbol missing?". The library parses each
// file into a symbol table; every line that looks meant as a symbol entry but made no symbol
// gets a finding ("FILE:LINE: reason"), and so does a name the library cut. Which lines made
// symbols comes from the table alone; the tool's own reading of the lines (line_scan.h,
// check_reasons.h) only explains why a line made none.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "check_reasons.h"
#include "commands.h"
#include "exit_codes.h"
#include "maps.h"
#include "messages.h"
#include "out_of_memory.h"

namespace {

constexpr std::size_t kLongestName = 255;

// A map's bytes, and its text as the library reads it: carriage returns dropped, nothing after
// a Ctrl-Z.
struct MapText {
  std::string name;  // the path, or the name standard input goes by
  std::string raw;
  std::string text;
  bool cut_at_ctrl_z = false;
};

bool ReadMap(const std::string& path, MapText* map) {
  if (path == kStandardInput) {
    map->name = kStandardInputName;
    if (!ReadStandardInput(&map->raw)) return false;
  } else {
    map->name = path;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    bool ok = ReadAll(file, &map->raw);
    std::fclose(file);
    if (!ok) return false;
  }
  map->text.reserve(map->raw.size());
  for (char c : map->raw) {
    if (c == '\x1a') {
      map->cut_at_ctrl_z = true;
      break;
    }
    if (c != '\r') map->text += c;
  }
  return true;
}

MapLines SplitLines(std::string_view text) {
  MapLines lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    lines.last_has_end = end != std::string_view::npos;
    if (!lines.last_has_end) end = text.size();
    lines.text.push_back(text.substr(start, end - start));
    lines.scans.push_back(ScanLine(lines.text.back()));
    start = end + 1;
  }
  return lines;
}

// The line (from 0) at which the library stopped, from its message "NAME:LINE: ...": the line
// of the token it quotes, a line end belonging to the line it ends.
std::size_t StopLine(std::string_view message, const std::string& name) {
  if (message.substr(0, name.size() + 1) != name + ":") return 0;
  std::size_t at = name.size() + 1, line = 0;
  while (at < message.size() && message[at] >= '0' && message[at] <= '9') {
    line = line * 10 + static_cast<std::size_t>(message[at++] - '0');
  }
  bool line_end = message.find("\"\n\"", at) != std::string_view::npos;
  if (line_end && line > 0) --line;
  return line > 0 ? line - 1 : 0;
}

// The lines the library made symbols of: each symbol's line, and the pieces of a continued
// name after its head line.
void MarkSymbols(const MapLines& lines, const MapSymbol* symbols, std::size_t count,
                 std::vector<char>* at_symbol, std::vector<char>* covered) {
  at_symbol->assign(lines.size(), 0);
  covered->assign(lines.size(), 0);
  for (std::size_t k = 0; k < count; ++k) {
    std::size_t i = symbols[k].line - 1;
    if (symbols[k].line == 0 || i >= lines.size()) continue;
    (*at_symbol)[i] = 1;
    (*covered)[i] = 1;
    if (!lines.scans[i].Head()) continue;
    for (std::size_t m = i + 1; m < lines.size(); ++m) {
      (*covered)[m] = 1;
      if (!lines.scans[m].MiddlePiece()) break;
    }
  }
}

// What the parse of one map said.
struct ParseOutcome {
  bool ok = true;
  std::size_t stop = 0;  // with !ok, the line at which it stopped
  const MapSymbol* symbols = nullptr;
  std::size_t count = 0;
};

// A symbol-like line the parse did not reach: the first says how many there are from it on;
// each says what is wrong with it by itself, if anything.
template <class Report>
void ReportNotRead(const MapLines& lines, std::size_t i, std::size_t stop, bool first,
                   Report& report) {
  std::string stopped = "the parse stopped at line " + std::to_string(stop + 1);
  if (first) {
    std::size_t count = 0;
    for (std::size_t m = i; m < lines.size(); ++m) count += SymbolLike(lines.text[m]);
    report(i, std::to_string(count) + (count == 1 ? " symbol-like line" : " symbol-like lines") +
                  " from here on not read: " + stopped);
  }
  std::string fault = OwnFault(lines, i);
  if (!fault.empty()) report(i, fault + "; not read: " + stopped);
}

// Says what is wrong with the lines of one map; returns how many findings there were.
int CheckLines(const MapText& map, const ParseOutcome& parse, Output& out) {
  int findings = 0;
  std::string shown = ShowPath(map.name);
  auto report = [&](std::size_t line, const std::string& reason) {
    out.Put(shown + ":" + std::to_string(line + 1) + ": " + reason + "\n");
    ++findings;
  };
  MapLines lines = SplitLines(map.text);
  std::vector<char> at_symbol, covered;
  MarkSymbols(lines, parse.symbols, parse.count, &at_symbol, &covered);
  std::size_t not_read = 0;  // symbol-like lines after the line where the parse stopped
  std::size_t open_head = kNoOpenHead;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (at_symbol[i]) {
      std::size_t length = NameLength(lines, i);
      if (length > kLongestName) {
        report(i, "name of " + std::to_string(length) + " characters is cut at 255");
      }
    } else if (!covered[i] && SymbolLike(lines.text[i])) {
      if (parse.ok || i <= parse.stop) {
        report(i, WhyNoSymbol(lines, i, open_head));
      } else {
        ReportNotRead(lines, i, parse.stop, not_read++ == 0, report);
      }
    }
    const LineScan& scan = lines.scans[i];
    if (open_head == kNoOpenHead) {
      if (scan.Head()) open_head = i;
    } else if (!scan.MiddlePiece()) {
      open_head = kNoOpenHead;  // its last piece, or what broke it
    }
  }
  if (!lines.last_has_end) {
    report(lines.size() - 1,
           "the last line has no line end: a syntax error, its entry makes no symbol");
  }
  if (map.cut_at_ctrl_z) {
    report(lines.size() - (lines.last_has_end ? 0 : 1),
           "a Ctrl-Z ends the input here: nothing after it is read");
  }
  return findings;
}

bool CheckCheck(const CommandLine& line, std::string* error) {
  if (line.operands.empty()) {
    *error = "no map file given";
    return false;
  }
  return StandardInputOnce(line.operands, error);
}

int RunCheck(const MapLibrary& lib, const CommandLine& line, Output& out) {
  int status = kExitOk;
  for (const std::string& path : line.operands) {
    MapText map;
    if (!ReadMap(path, &map)) {
      bool input = path == kStandardInput;
      Say(input ? std::string("error reading standard input")
                : "cannot read " + ShowPath(path) + " (" + OpenFailureReason(path) + ")");
      status = kExitFile;
      continue;
    }
    SymbolTable* table = lib.create_symbol_table();
    if (table == nullptr) OutOfMemory();
    ParseOutcome parse;
    parse.ok = lib.parse_map_text(table, map.raw.data(), map.raw.size(), map.name.c_str()) == 0;
    std::string message = OneLine(lib.get_symbol_table_error(table));
    if (!parse.ok) parse.stop = StopLine(lib.get_symbol_table_error(table), map.name);
    parse.symbols = lib.get_symbols(table);
    parse.count = lib.get_symbol_count(table);
    if (CheckLines(map, parse, out) > 0 && status == kExitOk) status = kExitNo;
    std::size_t records = 0;
    for (std::size_t i = 0; i < parse.count; ++i) records += IsAddressKind(parse.symbols[i].kind);
    std::string counted = std::to_string(records) + (records == 1 ? " record" : " records");
    out.Put(ShowPath(map.name) + ": " +
            (parse.ok ? "parse succeeded, " + counted
                      : "parse failed after " + counted + ": " + message) +
            "\n");
    lib.free_symbol_table(table);
    if (!parse.ok) status = kExitFile;
  }
  return status;
}

}  // namespace

const Command kCheckCommand = {
    "check",
    "mapsyms check FILE...",
    R"(Parses each FILE ("-" for standard input) through the library and prints, for every line
that looks meant as a symbol entry but made no symbol, "FILE:LINE: reason". A line looks meant
as an entry when it begins with a blank (space, tab, form feed, vertical tab or no-break space)
and holds a kind keyword (Addr., loc., EQU, bit, Func., Var., arg., in any letter case) or a
0x or 0X value. Which lines made symbols is the library's answer; the reason says what the
library met where: the line start, a field in the wrong case or missing, a byte that is no
blank between fields, a name or piece holding a character names do not, a value that does not
convert, a continued name that is not completed, lines not read after the parse stopped. A
name the library cut at 255 characters is a finding too, and so are the last line without its
line end and a Ctrl-Z that ends the input. Then the outcome of the parse: "FILE: parse
succeeded, N records", or "FILE: parse failed after N records: " and the library's message.
Exit 0 when nothing was found, 1 when lines were found, 3 when a file could not be read or
parsed.

  -h, --help  print this help
)",
    {{"help", 'h', false}, {"version", 'V', false}},
    CheckCheck,
    RunCheck,
};
