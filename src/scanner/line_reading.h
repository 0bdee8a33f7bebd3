// SPDX-License-Identifier: MIT
// One line of a map read on its own by the scanner's rules, from the line start, exactly as a
// parse reads it (every line starts afresh there): its tokens, where and in which field
// something unexpected sent its rest to be skipped, and how it ends. The notes on the lines
// that made no symbol are explained from this reading, so they never disagree with the parse.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "scanner/scanner.h"

namespace k8map {

struct LineReading {
  struct Token {
    int code;                // NAME, NAME_PART, ... HEX_VALUE
    std::size_t begin, end;  // its text in the line (a NAME without its blank)
  };
  // A line holds at most a name, a kind, a scope and a value before its end or its skip.
  static constexpr int kMostTokens = 4;
  Token tokens[kMostTokens + 1] = {};  // and room for a fifth, which is never kept
  int count = 0;
  bool name_field = false;  // the line began with spaces: its name field was read
  bool skipped = false;     // something unexpected came at skip_at and the rest was skipped
  StartCondition skipped_in = LINE_START;
  std::size_t skip_at = 0;
  int line_end = 0;       // LINE_END or ENTRY_LINE_END; 0 for a last line without one
  bool too_long = false;  // a match of kTokenTextSize bytes or more, at too_long_at
  std::size_t too_long_at = 0;

  bool Is(int i, int code) const { return i < count && tokens[i].code == code; }
  std::string_view Text(std::string_view line, int i) const {
    return line.substr(tokens[i].begin, tokens[i].end - tokens[i].begin);
  }
  // NAME or NAME_PART, a kind, SCOPE and HEX_VALUE: a single-line entry or a head line, with
  // or without its line end.
  bool EntryTokens() const;
  bool Head() const { return EntryTokens() && Is(0, NAME_PART) && line_end == ENTRY_LINE_END; }
  // A piece alone: a middle line of a continued name.
  bool MiddlePiece() const;
  // A word or a name alone: the last line of a continued name.
  bool LastPiece() const;
};

// Reads line (without its line feed; has_end says whether one follows it in the map). scratch
// is working room kept between calls.
LineReading ReadMapLine(std::string_view line, bool has_end, std::string& scratch);

}  // namespace k8map
