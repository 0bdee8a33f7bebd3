// SPDX-License-Identifier: MIT
#include "notes/map_notes.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "scanner/char_class.h"
#include "scanner/line_reading.h"
#include "scanner/symbol_kind.h"

namespace k8map {
namespace {

constexpr auto kNameLimit = static_cast<std::size_t>(kLongestName);

// Indexed by reason.
constexpr const char* kNoteTexts[] = {
    nullptr,
    "the line begins with a tab or other blank, not a space: a symbol entry begins with a space",
    "a vertical tab or no-break space stands between fields: fields are separated by spaces or "
    "tabs",
    "no name: a kind keyword stands where the name belongs",
    "the name does not begin with a letter or '_'",
    "the name holds a byte names do not: names are letters, digits and _",
    "the name holds '+' before its end: a '+' ends a piece of a name",
    "the name and the kind run together: a space or tab goes between them",
    "a form feed follows the name: a name is followed by a space or tab",
    "the line ends after the name",
    "the kind keyword is in another letter case: kind keywords are case-sensitive",
    "the kind keyword lacks its '.'",
    "no kind after the name (Addr., loc., EQU, bit, Func., Var. or arg.)",
    "unknown kind (Addr., loc., EQU, bit, Func., Var. or arg.)",
    "no scope and value after the kind",
    "the scope must be lower case (a, g or s)",
    "no scope between the kind and the value (a, g or s)",
    "the scope is not a, g or s",
    "no value after the scope",
    "the value needs a lower-case x in 0x",
    "the value 0x has no hexadecimal digits",
    "the value is not 0x and hexadecimal digits (and an optional (d))",
    "the value does not begin with 0x",
    "the value has more than eight digits: it does not convert, no symbol",
    "the value is longer than 255 characters: it does not convert, no symbol",
    "text after the value that trailing words do not hold (letters, digits, _ - * [ ]): a syntax "
    "error",
    "a word of 8192 bytes or more: the parse stops there",
    "the name continued here is not completed: a line that is no piece of it comes before its "
    "last piece",
    "the name continued here is not completed: the input ends before its last piece (with its "
    "line end)",
    "an entry where a continued name needs its next piece: a syntax error",
    "a piece of a name outside a continued name: a syntax error",
    "the last line has no line end: a syntax error, its entry makes no symbol",
    "the name is longer than 255 characters and is cut at 255",
    "the parse stopped before this line: the rest of the map was not read",
    "a piece of a continued name whose entry made no symbol (its head line says why)",
    "the entry made no symbol (memory ran out)",
};
static_assert(sizeof kNoteTexts / sizeof kNoteTexts[0] == K8MAP_NOTE_LAST + 1);

struct Reason {
  int reason;      // K8MAP_NOTE_
  std::size_t at;  // the byte of the line it concerns, from 0
};

unsigned char ByteAt(std::string_view text, std::size_t i) {
  return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

// A kind keyword without its dot ("Addr", "EQU").
std::string_view Undotted(const char* keyword) {
  std::string_view k(keyword);
  return k.back() == '.' ? k.substr(0, k.size() - 1) : k;
}

// A word equal to a kind keyword in any letter case, with or without its dot.
bool KeywordLetters(std::string_view word) {
  if (word.ends_with('.')) word.remove_suffix(1);
  for (int k = kKindAddr; k <= kKindCount; ++k) {
    if (SameLetters(word, Undotted(kKindKeywords[k]))) return true;
  }
  return false;
}

bool HexPrefixed(std::string_view field) {
  return field.size() >= 2 && field[0] == '0' && (field[1] == 'x' || field[1] == 'X');
}

// A byte that separates fields to the eye but not to the scanner.
bool Lookalike(std::string_view line, std::size_t at) {
  unsigned char c = ByteAt(line, at);
  return c == '\v' || c == 0xA0 || (c == 0xC2 && ByteAt(line, at + 1) == 0xA0);
}

bool Blank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\f';
}

// The field that begins at `at`: up to the next blank.
std::string_view FieldFrom(std::string_view line, std::size_t at) {
  std::size_t end = at;
  while (end < line.size() && !Blank(ByteAt(line, end))) ++end;
  return line.substr(at, end - at);
}

// The length of the dotted kind keyword that text ends with ("main_Addr."), or 0.
std::size_t DottedKeywordAtEnd(std::string_view text) {
  for (int kind = kKindAddr; kind <= kKindCount; ++kind) {
    std::string_view keyword(kKindKeywords[kind]);
    if (keyword.back() == '.' && text.ends_with(keyword)) return keyword.size();
  }
  return 0;
}

// A name field's text that is no name: the first thing wrong with it. The field's end counts as
// a byte no name holds (a word cut off by the end of the input).
Reason NameReason(std::string_view field, std::size_t start) {
  if (KeywordLetters(field)) return {K8MAP_NOTE_NO_NAME, start};
  if (!IsClass(ByteAt(field, 0), kNameStart)) return {K8MAP_NOTE_NAME_START, start};
  std::size_t k = 1;
  while (IsClass(ByteAt(field, k), kNameChar)) ++k;
  unsigned char c = ByteAt(field, k);
  if (c == '+' && k + 1 < field.size()) return {K8MAP_NOTE_NAME_PLUS, start + k};
  std::size_t joined = c == '.' ? DottedKeywordAtEnd(field.substr(0, k + 1)) : 0;
  if (joined != 0) return {K8MAP_NOTE_NAME_KIND_JOINED, start + k + 1 - joined};
  return {K8MAP_NOTE_NAME_CHARACTER, start + k};
}

// The name field of a line whose first token is no name or piece followed by a blank.
Reason NameFieldReason(std::string_view line, const LineReading& r) {
  std::size_t start = r.count > 0 ? r.tokens[0].begin : r.skip_at;
  if (Lookalike(line, start)) return {K8MAP_NOTE_SEPARATOR, start};
  if (r.Is(0, WORD) && IsClass(ByteAt(line, start), kNameStart)) {
    std::size_t after = r.tokens[0].end;
    if (Lookalike(line, after)) return {K8MAP_NOTE_SEPARATOR, after};
    if (ByteAt(line, after) == '\f') return {K8MAP_NOTE_NAME_FORM_FEED, after};
  }
  return NameReason(FieldFrom(line, start), start);
}

int KindReason(std::string_view field) {
  for (int kind = kKindAddr; kind <= kKindCount; ++kind) {
    std::string_view keyword(kKindKeywords[kind]);
    if (SameLetters(field, keyword)) return K8MAP_NOTE_KIND_CASE;
    if (keyword.back() == '.' && SameLetters(field, Undotted(kKindKeywords[kind]))) {
      return K8MAP_NOTE_KIND_DOT;
    }
  }
  bool scope = field == "a" || field == "g" || field == "s";
  return scope || HexPrefixed(field) ? K8MAP_NOTE_KIND_MISSING : K8MAP_NOTE_KIND_UNKNOWN;
}

int ScopeReason(std::string_view field) {
  if (field == "A" || field == "G" || field == "S") return K8MAP_NOTE_SCOPE_CASE;
  return HexPrefixed(field) ? K8MAP_NOTE_SCOPE_MISSING : K8MAP_NOTE_SCOPE_UNKNOWN;
}

int ValueReason(std::string_view field) {
  if (field.starts_with("0X")) return K8MAP_NOTE_VALUE_CAPITAL_X;
  if (field == "0x") return K8MAP_NOTE_VALUE_NO_DIGITS;
  return HexPrefixed(field) ? K8MAP_NOTE_VALUE_NOT_HEX : K8MAP_NOTE_VALUE_NO_PREFIX;
}

// A line whose tokens stop short of an entry: what came where the next field belongs.
Reason FieldReason(std::string_view line, const LineReading& r) {
  const auto& t = r.tokens;
  int n = r.count;
  bool name = r.Is(0, NAME) || r.Is(0, NAME_PART);
  if (!name || (n == 1 && r.skipped && r.skip_at == t[0].end)) return NameFieldReason(line, r);
  if (!r.skipped) {  // the line ends after the name, the kind or the scope
    static constexpr int kEndedAfter[] = {K8MAP_NOTE_OTHER, K8MAP_NOTE_NAME_ALONE,
                                          K8MAP_NOTE_SCOPE_VALUE_MISSING, K8MAP_NOTE_VALUE_MISSING,
                                          K8MAP_NOTE_OTHER};
    return {kEndedAfter[n], t[n - 1].end};
  }
  std::size_t at = r.skip_at;
  if (Lookalike(line, at)) {
    return {n >= 4 ? K8MAP_NOTE_TRAILING_TEXT : K8MAP_NOTE_SEPARATOR, at};
  }
  std::string_view field = FieldFrom(line, at);
  switch (n) {
    case 1:
      return {KindReason(field), at};
    case 2:
      return {ScopeReason(field), at};
    case 3:
      if (at == t[2].end) return {ScopeReason(FieldFrom(line, t[2].begin)), t[2].begin};
      return {ValueReason(field), at};
    default:
      if (at == t[3].end) return {ValueReason(FieldFrom(line, t[3].begin)), t[3].begin};
      // The trailing word the wrong byte stands in (a blank always follows the value).
      return {K8MAP_NOTE_TRAILING_TEXT, line.find_last_of(" \t\f", at) + 1};
  }
}

// A value that does not convert: its entry makes no symbol. K8MAP_NOTE_OTHER when it does.
int ConversionReason(std::string_view value) {
  std::size_t suffix = value.back() == ')' ? 3 : 0;
  if (value.size() - suffix > kNameLimit) return K8MAP_NOTE_VALUE_TOO_LONG;
  if (value.size() - suffix - 2 > 8) return K8MAP_NOTE_VALUE_TOO_MANY_DIGITS;
  return K8MAP_NOTE_OTHER;
}

// What is wrong with a symbol-like line by itself, outside any continued name.
Reason OwnReason(std::string_view line, const LineReading& r) {
  if (!r.name_field) return {K8MAP_NOTE_NOT_SPACE_FIRST, 0};
  if (r.too_long) return {K8MAP_NOTE_TOKEN_TOO_LONG, r.too_long_at};
  if (r.count == 1 && !r.skipped) return {K8MAP_NOTE_PIECE_ALONE, r.tokens[0].begin};
  if (!r.EntryTokens()) return FieldReason(line, r);
  int conversion = ConversionReason(r.Text(line, 3));
  if (conversion != K8MAP_NOTE_OTHER) return {conversion, r.tokens[3].begin};
  if (r.line_end == 0) return {K8MAP_NOTE_NO_LINE_END, line.size()};
  return {K8MAP_NOTE_OTHER, 0};  // its symbol was lost for want of memory
}

// Walks the lines in order, following continued names, and writes the notes.
class NoteWriter {
 public:
  NoteWriter(const ParseOutline& outline, std::vector<MapNote>& notes)
      : outline_(outline), notes_(notes) {}

  void Line(std::uint64_t number, std::string_view line, bool has_end) {
    const MapSymbol* symbol = MadeSymbol(number);
    bool made = symbol != nullptr;
    bool like = !made && SymbolLike(line);  // only lines that made no symbol can need a note
    // Most lines need no reading: outside a continued name, a line that made a symbol with a
    // name shorter than 255 and has no '+' is no head and has no note; a line that is not
    // symbol-like is neither.
    if (head_ == 0 && (made ? std::memchr(symbol->name, '\0', kNameLimit) != nullptr &&
                                  line.find('+') == std::string_view::npos
                            : !like)) {
      return;
    }
    LineReading r = ReadMapLine(line, has_end, scratch_);
    if (head_ != 0) {
      if (r.MiddlePiece() || r.LastPiece()) {
        bool last = r.LastPiece();
        head_length_ += r.tokens[0].end - r.tokens[0].begin - (last ? 0 : 1);
        if (!head_made_ && like) pieces_.push_back({number, r.tokens[0].begin});
        if (last) CloseContinuation(kCompleted);
        return;
      }
      // A last piece without its line end, or a line that is none.
      CloseContinuation(r.line_end == 0 && r.count == 1 ? kUnended : kBroken);
      if (r.EntryTokens() && like) {
        Add(number, {K8MAP_NOTE_ENTRY_IN_CONTINUATION, r.tokens[1].begin});
        return;
      }
    }
    if (r.Head()) {
      OpenContinuation(number, line, r, made);
      return;
    }
    if (made) {
      if (r.tokens[0].end - r.tokens[0].begin > kNameLimit) {
        Add(number, {K8MAP_NOTE_NAME_CUT, r.tokens[0].begin});
      }
    } else if (like) {
      Add(number, OwnReason(line, r));
    }
  }

  // The input ended (at_end) or the parse stopped: a continued name still open was not
  // completed.
  void End(bool at_end) {
    if (head_ != 0) CloseContinuation(at_end ? kUnended : kBroken);
  }

  void Add(std::uint64_t line, Reason reason) {
    auto clamp = [](std::uint64_t n) {
      return static_cast<std::uint32_t>(std::min<std::uint64_t>(n, 0xFFFFFFFFu));
    };
    notes_.push_back({clamp(line), clamp(reason.at + 1), static_cast<std::uint8_t>(reason.reason)});
  }

 private:
  // The symbol the line made, or null.
  const MapSymbol* MadeSymbol(std::uint64_t line) {
    while (next_ < outline_.count && outline_.symbols[next_].line < line) ++next_;
    bool made = next_ < outline_.count && outline_.symbols[next_].line == line;
    return made ? &outline_.symbols[next_] : nullptr;
  }

  void OpenContinuation(std::uint64_t number, std::string_view line, const LineReading& r,
                        bool made) {
    head_ = number;
    head_made_ = made;
    head_column_ = r.tokens[0].begin;
    head_length_ = r.tokens[0].end - r.tokens[0].begin - 1;
    head_value_ = ConversionReason(r.Text(line, 3));
    head_value_at_ = r.tokens[3].begin;
  }

  enum Outcome { kCompleted, kBroken, kUnended };

  // The head line's note, once its continued name is completed or broken off.
  void CloseContinuation(Outcome outcome) {
    if (head_made_) {
      if (head_length_ > kNameLimit) Add(head_, {K8MAP_NOTE_NAME_CUT, head_column_});
    } else {  // a head line is always symbol-like: it holds a kind keyword
      if (head_value_ != K8MAP_NOTE_OTHER) {
        Add(head_, {head_value_, head_value_at_});
      } else {
        static constexpr int kReasons[] = {K8MAP_NOTE_OTHER, K8MAP_NOTE_CONTINUATION_BROKEN,
                                           K8MAP_NOTE_CONTINUATION_UNENDED};
        Add(head_, {kReasons[outcome], head_column_});
      }
    }
    for (const auto& [line, at] : pieces_) Add(line, {K8MAP_NOTE_PIECE_OF_NO_SYMBOL, at});
    pieces_.clear();
    head_ = 0;
  }

  const ParseOutline& outline_;
  std::vector<MapNote>& notes_;
  std::string scratch_;
  std::size_t next_ = 0;    // the first symbol not yet passed
  std::uint64_t head_ = 0;  // the head line of the continued name being read; 0: none
  // Its symbol-like pieces, noted after the head line when its entry made no symbol.
  std::vector<std::pair<std::uint64_t, std::size_t>> pieces_;
  bool head_made_ = false;
  std::size_t head_column_ = 0, head_length_ = 0, head_value_at_ = 0;
  int head_value_ = K8MAP_NOTE_OTHER;
};

// The notes on text, in line order.
void AppendNoteList(std::string_view text, const ParseOutline& outline,
                    std::vector<MapNote>& notes) {
  NoteWriter writer(outline, notes);
  std::uint64_t number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    ++number;
    if (outline.stop_line != 0 && number > outline.stop_line) {
      writer.End(false);
      writer.Add(number, {K8MAP_NOTE_NOT_READ, 0});
      return;
    }
    std::size_t end = text.find('\n', start);
    bool has_end = end != std::string_view::npos;
    if (!has_end) end = text.size();
    writer.Line(number, text.substr(start, end - start), has_end);
    start = end + 1;
  }
  writer.End(true);
}

// The lines of the notes from first on, found in one pass when they come in line order.
void AppendNoteLines(std::string_view text, std::size_t first, MapNotes& notes) {
  std::uint64_t number = 1;
  std::size_t start = 0;
  for (std::size_t i = first; i < notes.list.size(); ++i) {
    if (notes.list[i].line < number) number = 1, start = 0;
    for (; number < notes.list[i].line && start < text.size(); ++number) {
      std::size_t end = text.find('\n', start);
      start = end == std::string_view::npos ? text.size() : end + 1;
    }
    std::string_view rest = text.substr(start);
    notes.lines.append(rest.substr(0, rest.find('\n')));
    notes.line_ends.push_back(notes.lines.size());
  }
}

}  // namespace

bool SymbolLike(std::string_view line) {
  unsigned char first = ByteAt(line, 0);
  if (line.empty() || !(Blank(first) || Lookalike(line, 0))) return false;
  for (std::size_t i = 0; i < line.size();) {
    if (!IsClass(ByteAt(line, i), kNameChar)) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < line.size() && IsClass(ByteAt(line, end), kNameChar)) ++end;
    std::string_view word = line.substr(i, end - i);
    if (KeywordLetters(word)) return true;
    if (HexPrefixed(word) && IsClass(ByteAt(word, 2), kHexDigit)) return true;
    i = end;
  }
  return false;
}

bool NoteLine(const MapNotes& notes, std::size_t index, std::string_view* line) {
  if (index >= notes.line_ends.size()) return false;
  std::size_t start = index == 0 ? 0 : notes.line_ends[index - 1];
  *line = std::string_view(notes.lines).substr(start, notes.line_ends[index] - start);
  return true;
}

void AppendNotes(std::string_view text, const ParseOutline& outline, MapNotes& notes) {
  std::size_t first = notes.list.size();
  AppendNoteList(text, outline, notes.list);
  AppendNoteLines(text, first, notes);
}

const char* NoteText(int reason) {
  return reason >= 1 && reason <= K8MAP_NOTE_LAST ? kNoteTexts[reason] : nullptr;
}

}  // namespace k8map
