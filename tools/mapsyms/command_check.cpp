// SPDX-License-Identifier: MIT
// mapsyms check FILE...: the answer to "why is my symbol missing?". The library parses each
// file into a symbol table with notes on: every line that looks meant as a symbol entry but made
// no symbol has a note, and so do a name the library cut and the rest of a map not read after a
// failure. check prints them ("FILE:LINE:COLUMN: reason ('field')"), the field quoted from the
// line where the library points.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "escape.h"
#include "exit_codes.h"
#include "maps.h"
#include "messages.h"
#include "out_of_memory.h"
#include "wide_paths.h"

namespace {

constexpr std::size_t kLongestQuote = 40;

// A map's bytes, and its lines as the library reads them: carriage returns dropped, nothing
// after a Ctrl-Z.
struct MapText {
  std::string name;  // the path, or the name standard input goes by
  std::string raw;
  std::string text;
  std::vector<std::string_view> lines;
};

bool ReadMap(const std::string& path, MapText* map) {
  if (path == kStandardInput) {
    map->name = kStandardInputName;
    if (!ReadStandardInput(&map->raw)) return false;
  } else {
    map->name = path;
    std::FILE* file = OpenForReading(path);
    if (file == nullptr) return false;
    bool ok = ReadAll(file, &map->raw);
    std::fclose(file);
    if (!ok) return false;
  }
  map->text.reserve(map->raw.size());
  for (char c : map->raw) {
    if (c == '\x1a') break;
    if (c != '\r') map->text += c;
  }
  std::string_view text = map->text;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    map->lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

// Text as a finding quotes it: bytes outside printable ASCII escaped (\t, \xHH).
constexpr EscapeRules kFindingText = [] {
  EscapeRules rules;
  rules.KeepPrintable().Own('\t', "\\t");
  return rules;
}();

std::string ShowText(std::string_view text) {
  return Escaped(text, kFindingText);
}

// The field a note points at: from its column to the next space, tab or form feed, quoted;
// empty at the line's end.
std::string QuotedField(std::string_view line, std::uint32_t column) {
  if (column == 0 || column > line.size()) return "";
  std::string_view rest = line.substr(column - 1);
  std::string_view field = rest.substr(0, rest.find_first_of(" \t\f"));
  if (field.empty()) return "";
  bool cut = field.size() > kLongestQuote;
  return " ('" + ShowText(field.substr(0, kLongestQuote)) + (cut ? "...')" : "')");
}

// Prints the table's notes on the map; returns how many there were.
std::size_t PrintNotes(const MapLibrary& lib, const SymbolTable* table, const MapText& map,
                       Output& out) {
  std::string shown = ShowPath(map.name);
  const MapNote* notes = lib.get_notes(table);
  std::size_t count = lib.get_note_count(table);
  for (std::size_t i = 0; i < count; ++i) {
    const MapNote& note = notes[i];
    std::string_view line = note.line <= map.lines.size() ? map.lines[note.line - 1] : "";
    bool quoted = note.reason != K8MAP_NOTE_NOT_READ;
    out.Put(shown + ":" + std::to_string(note.line) + ":" + std::to_string(note.column) + ": " +
            lib.get_note_text(note.reason) + (quoted ? QuotedField(line, note.column) : "") + "\n");
  }
  return count;
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
    lib.set_symbol_table_flags(table, K8MAP_TABLE_NOTES);
    bool ok = lib.parse_map_text(table, map.raw.data(), map.raw.size(), map.name.c_str()) == 0;
    if (PrintNotes(lib, table, map, out) > 0 && status == kExitOk) status = kExitNo;
    const MapSymbol* symbols = lib.get_symbols(table);
    std::size_t records = 0;
    for (std::size_t i = 0; i < lib.get_symbol_count(table); ++i) {
      records += IsAddressKind(symbols[i].kind);
    }
    std::string counted = std::to_string(records) + (records == 1 ? " record" : " records");
    out.Put(
        ShowPath(map.name) + ": " +
        (ok ? "parse succeeded, " + counted
            : "parse failed after " + counted + ": " + OneLine(lib.get_symbol_table_error(table))) +
        "\n");
    lib.free_symbol_table(table);
    if (!ok) status = kExitFile;
  }
  return status;
}

}  // namespace

const Command kCheckCommand = {
    "check",
    "mapsyms check FILE...",
    R"help(Parses each FILE ("-" for standard input) through the library with its notes on and prints
each note: "FILE:LINE:COLUMN: reason ('field')", the field quoted from where the library
points. A line gets a note when it begins with a blank (space, tab, form feed, vertical tab or
no-break space), holds a kind keyword (Addr., loc., EQU, bit, Func., Var., arg., in any letter
case, with or without its dot) or a 0x or 0X value, and made no symbol; the reason is the
library's own reading of the line: the line start, a field in the wrong case or missing, a byte
that is no blank between fields, a name holding a character names do not, a value that does not
convert, a continued name that is not completed, the last line without its line end. A name
the library cut at 255 characters has a note too, and so has the rest of a map not read after
the parse stopped. Then the outcome of the parse: "FILE: parse succeeded, N records", or "FILE:
parse failed after N records: " and the library's message. Exit 0 when nothing was found, 1
when lines were found, 2 when the command line is wrong, 3 when a file could not be read or
parsed, 4 when the library could not be loaded.

  -h, --help  print this help
)help",
    {{"help", 'h', false}, {"version", 'V', false}},
    CheckCheck,
    RunCheck,
};
