// SPDX-License-Identifier: MIT
// mapsyms check FILE...: the answer to "why is my symbol missing?". The library parses each
// file into a symbol table with notes on: every line that looks meant as a symbol entry but made
// no symbol has a note, and so do a name the library cut and the rest of a map not read after a
// failure. check prints them ("FILE:LINE:COLUMN: reason ('field')"), the field quoted from the
// note's line as the library read it, where the note points.
#include <string>
#include <string_view>

#include "commands.h"
#include "escape.h"
#include "exit_codes.h"
#include "maps.h"
#include "messages.h"
#include "out_of_memory.h"
#include "wide_paths.h"

namespace {

constexpr std::size_t kLongestQuote = 40;

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

// Prints the table's notes on the map (named shown); returns how many there were.
std::size_t PrintNotes(const MapLibrary& lib, const SymbolTable* table, const std::string& shown,
                       Output& out) {
  const MapNote* notes = lib.get_notes(table);
  std::size_t count = lib.get_note_count(table);
  for (std::size_t i = 0; i < count; ++i) {
    const MapNote& note = notes[i];
    std::size_t length = 0;
    const char* text = lib.get_note_line(table, i, &length);
    std::string_view line = text != nullptr ? std::string_view(text, length) : "";
    bool quoted = note.reason != K8MAP_NOTE_NOT_READ;
    out.Put(shown + ":" + std::to_string(note.line) + ":" + std::to_string(note.column) + ": " +
            lib.get_note_text(note.reason) + (quoted ? QuotedField(line, note.column) : "") + "\n");
  }
  return count;
}

// Parses the map with notes into table: a file through the library, standard input from its
// bytes. False when the file could not be read (said on standard error), *parsed whether the
// parse succeeded.
bool ParseWithNotes(const MapLibrary& lib, const std::string& path, SymbolTable* table,
                    bool* parsed) {
  lib.set_symbol_table_flags(table, K8MAP_TABLE_NOTES);
  if (path == kStandardInput) {
    std::string text;
    if (!ReadStandardInput(&text)) {
      Say("error reading standard input");
      return false;
    }
    *parsed = lib.parse_map_text(table, text.data(), text.size(), kStandardInputName) == 0;
    return true;
  }
#ifdef _WIN32
  *parsed = lib.parse_map_file_w(table, Widen(path).c_str()) == 0;
#else
  *parsed = lib.parse_map_file(table, path.c_str()) == 0;
#endif
  int code = lib.get_symbol_table_error_code(table);
  if (code != K8MAP_ERROR_OPEN && code != K8MAP_ERROR_READ) return true;
  Say("cannot read " + ShowPath(path) + " (" + OpenFailureReason(path) + ")");
  return false;
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
    SymbolTable* table = lib.create_symbol_table();
    if (table == nullptr) OutOfMemory();
    bool ok = false;
    if (!ParseWithNotes(lib, path, table, &ok)) {
      lib.free_symbol_table(table);
      status = kExitFile;
      continue;
    }
    std::string shown = ShowPath(path == kStandardInput ? kStandardInputName : path);
    if (PrintNotes(lib, table, shown, out) > 0 && status == kExitOk) status = kExitNo;
    const MapSymbol* symbols = lib.get_symbols(table);
    std::size_t records = 0;
    for (std::size_t i = 0; i < lib.get_symbol_count(table); ++i) {
      records += IsAddressKind(symbols[i].kind);
    }
    std::string counted = std::to_string(records) + (records == 1 ? " record" : " records");
    out.Put(
        shown + ": " +
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
