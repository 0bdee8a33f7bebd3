// SPDX-License-Identifier: MIT
// One line of a map cut into tokens by the library's rules, for check to explain why a line made
// no symbol. Every line starts afresh at the line start, so a line's tokens do not depend on the
// lines before it. Which lines made symbols comes from the library itself, never from here.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

enum class LineToken {
  kName,         // a name followed by a space or tab
  kNamePart,     // a letter-first piece of a continued name, with its '+'
  kDigitPart,    // a digit-first piece, with its '+'
  kWord,         // any other word of name characters in the name field
  kAddressKind,  // Addr. or loc.
  kSymbolKind,   // EQU, bit, Func., Var. or arg.
  kScope,
  kValue,
};

// Where the line was when something unexpected sent its rest to be skipped.
enum class LineField { kLineStart, kName, kKind, kScope, kValue, kAfterValue };

struct LineScan {
  struct Token {
    LineToken type;
    std::size_t begin, end;  // in the line; a name token's blank is not part of it
  };
  std::vector<Token> tokens;
  bool name_field = false;  // the line began with a space, so its name field was read
  bool skipped = false;     // something unexpected came at skip_at; the rest was skipped
  LineField skipped_in = LineField::kLineStart;
  std::size_t skip_at = 0;
  bool entry_line_end = false;  // the line end closes a name or value field
  std::size_t longest = 0;      // the longest text matched at once

  std::size_t count() const { return tokens.size(); }
  bool Is(std::size_t i, LineToken type) const { return i < count() && tokens[i].type == type; }
  bool IsKind(std::size_t i) const {
    return Is(i, LineToken::kAddressKind) || Is(i, LineToken::kSymbolKind);
  }
  // NAME, kind, scope, value and an entry line end: a single-line entry (a head line when the
  // name is a piece).
  bool Entry() const;
  bool Head() const { return Entry() && Is(0, LineToken::kNamePart); }
  // A piece and an entry line end: a middle line of a continued name.
  bool MiddlePiece() const;
  // A word or a name and an entry line end: the last line of a continued name.
  bool LastPiece() const;
};

// Cuts line (its text without the line feed) into tokens.
LineScan ScanLine(std::string_view line);

bool IsNameStart(unsigned char c);
bool IsNameChar(unsigned char c);
bool IsHexDigit(unsigned char c);
