// SPDX-License-Identifier: MIT
// What a table's notes must say of a parse of text (the table holding that parse alone): every
// line that looks like a symbol entry, made none and was read has exactly one note; no line
// that made a symbol (its head line or a piece of its name) has one, but for a cut name; after
// a failure, the line after the stop has the one note on the rest, and no later line has any.
// Shared by the unit tests and the table fuzz target.
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "kestrum8_map.h"
#include "notes/map_notes.h"
#include "scanner/line_reading.h"

namespace k8map {

// The first invariant the notes break, or null.
inline const char* NotesInvariantBroken(std::string_view raw, const SymbolTable* table) {
  std::string text;  // as the library reads it
  for (char c : raw) {
    if (c == '\x1a') break;
    if (c != '\r') text += c;
  }
  std::vector<std::string_view> lines;
  std::vector<bool> ends;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    ends.push_back(end != std::string::npos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(std::string_view(text).substr(start, end - start));
    start = end + 1;
  }
  std::size_t n = lines.size();
  std::vector<char> made(n + 2, 0), cut(n + 2, 0);
  std::string scratch;
  const MapSymbol* symbols = GetSymbols(table);
  for (std::size_t i = 0; i < GetSymbolCount(table); ++i) {
    std::size_t line = symbols[i].line;
    if (line == 0 || line > n) return "a symbol's line lies in the text";
    made[line] = 1;
    cut[line] = std::strlen(symbols[i].name) == 255;
    if (!ReadMapLine(lines[line - 1], ends[line - 1], scratch).Head()) continue;
    for (std::size_t m = line + 1; m <= n; ++m) {  // the pieces of its name
      LineReading r = ReadMapLine(lines[m - 1], ends[m - 1], scratch);
      if (!r.MiddlePiece() && !r.LastPiece()) break;
      made[m] = 1;
      if (r.LastPiece()) break;
    }
  }
  int code = GetSymbolTableErrorCode(table);
  std::size_t stop = code == K8MAP_ERROR_NONE || code == K8MAP_ERROR_MEMORY
                         ? n
                         : static_cast<std::size_t>(GetSymbolTableErrorLine(table));
  std::vector<int> noted(n + 2, 0);
  const MapNote* notes = GetNotes(table);
  for (std::size_t i = 0; i < GetNoteCount(table); ++i) {
    const MapNote& note = notes[i];
    if (note.line < 1 || note.line > n) return "a note's line lies in the text";
    if (i > 0 && note.line <= notes[i - 1].line) return "notes in line order, one a line";
    if (GetNoteText(note.reason) == nullptr || note.column < 1) return "a reason and a column";
    std::size_t length = 0;
    const char* line = GetNoteLine(table, i, &length);
    if (line == nullptr || std::string_view(line, length) != lines[note.line - 1]) {
      return "a note's line as the parse read it";
    }
    if (note.reason == K8MAP_NOTE_NOT_READ) {
      if (note.line != stop + 1 || i + 1 != GetNoteCount(table)) return "not read after the stop";
      continue;
    }
    if (note.line > stop) return "no note after the stop";
    if (note.reason == K8MAP_NOTE_NAME_CUT) {
      if (!made[note.line] || !cut[note.line]) return "a cut name on a symbol's line";
      continue;
    }
    if (made[note.line]) return "no note on a line that made a symbol";
    if (!SymbolLike(lines[note.line - 1])) return "notes on symbol-like lines only";
    noted[note.line] = 1;
  }
  for (std::size_t line = 1; line <= stop && line <= n; ++line) {
    if (!made[line] && SymbolLike(lines[line - 1]) && !noted[line]) {
      return "a note on every symbol-like line that made no symbol";
    }
  }
  if (stop < n &&
      (GetNoteCount(table) == 0 || notes[GetNoteCount(table) - 1].reason != K8MAP_NOTE_NOT_READ)) {
    return "the rest not read is noted";
  }
  return nullptr;
}

}  // namespace k8map
