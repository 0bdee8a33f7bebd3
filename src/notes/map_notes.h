// SPDX-License-Identifier: MIT
// The notes of one parse: every line that begins with a blank and holds a kind keyword (any
// letter case, with or without its dot) or a 0x/0X value but made no symbol gets one, with the
// reason and the column the library's own reading of the line gives; so does the head line of
// an entry whose name was cut, and the rest of a map the parse did not read after a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kestrum8_map.h"

namespace k8map {

// What the parse made and where it stopped.
struct ParseOutline {
  const MapSymbol* symbols;  // the symbols the parse appended, in line order
  std::size_t count;
  std::uint64_t stop_line;  // the line of the token a failed parse stopped at; 0: read to the end
};

// The notes of a table's parses, and each note's line as the parse read it, for hosts that
// quote what a note points at.
struct MapNotes {
  std::vector<MapNote> list;
  std::string lines;                   // the notes' lines one after another
  std::vector<std::size_t> line_ends;  // note i's line ends at line_ends[i] in lines
};

// Appends the notes on text (the map as the parse read it: carriage returns dropped, nothing
// after a Ctrl-Z; after a failure, at least up to the line after the stop) to notes, in line
// order, with their lines.
void AppendNotes(std::string_view text, const ParseOutline& outline, MapNotes& notes);

// Note index's line, or false for an index out of range.
bool NoteLine(const MapNotes& notes, std::size_t index, std::string_view* line);

// Whether a line looks meant as a symbol entry.
bool SymbolLike(std::string_view line);

// The words of a note reason; null for a number that is none.
const char* NoteText(int reason);

}  // namespace k8map
