// SPDX-License-Identifier: MIT
#include "check_reasons.h"

#include <cstdio>

namespace {

constexpr std::string_view kKinds[] = {"Addr.", "loc.", "EQU", "bit", "Func.", "Var.", "arg."};
constexpr std::string_view kKindList = "Addr., loc., EQU, bit, Func., Var. or arg.";
constexpr std::size_t kLongestToken = 8191;
constexpr std::size_t kLongestValueText = 255;

unsigned char ByteAt(std::string_view text, std::size_t i) {
  return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return lower;
}

bool SameLetters(std::string_view a, std::string_view b) {
  return Lower(a) == Lower(b);
}

std::string Quote(std::string_view text) {
  return "'" + ShowText(text) + "'";
}

// A byte that separates fields to the eye but not to the library, in words; empty for others
// (and past the line's end).
std::string Lookalike(std::string_view line, std::size_t at) {
  unsigned char c = ByteAt(line, at);
  if (c == '\v') return "a vertical tab";
  if (c == 0xA0 || (c == 0xC2 && ByteAt(line, at + 1) == 0xA0)) return "a no-break space";
  return "";
}

std::string ByteName(unsigned char c) {
  if (c > 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
  if (c == 0) return "a NUL byte";
  char name[16];
  std::snprintf(name, sizeof name, "byte 0x%02X", c);
  return name;
}

// The field that begins at `at`: up to the next space, tab or form feed.
std::string_view FieldFrom(std::string_view line, std::size_t at) {
  std::size_t end = line.find_first_of(" \t\f", at);
  return line.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
}

// The whole field around `at`: from the blank before it (the line's start if none: npos + 1 is
// 0) to the blank after it.
std::string_view FieldAround(std::string_view line, std::size_t at) {
  return FieldFrom(line, line.find_last_of(" \t\f", at) + 1);
}

bool HexPrefixed(std::string_view field) {
  return field.size() >= 2 && field[0] == '0' && (field[1] == 'x' || field[1] == 'X');
}

std::string StartReason(std::string_view line) {
  std::string what;
  switch (ByteAt(line, 0)) {
    case '\t':
      what = "a tab";
      break;
    case '\f':
      what = "a form feed";
      break;
    default:
      what = Lookalike(line, 0);
  }
  if (what.empty()) return "does not begin with a space: read as a heading, no symbol";
  return "begins with " + what + ": a symbol entry begins with a space";
}

// A name field's text that is no name: the first thing wrong with it.
std::string NameReason(std::string_view noun, std::string_view field) {
  std::string shown = std::string(noun) + " " + Quote(field);
  if (field.empty() || !IsNameStart(ByteAt(field, 0))) {
    return shown + " does not begin with a letter or '_'";
  }
  for (std::size_t k = 0; k < field.size(); ++k) {
    unsigned char c = ByteAt(field, k);
    if (IsNameChar(c) || (c == '+' && k + 1 == field.size())) continue;
    if (c == '+') return shown + " holds '+' before its end: a '+' ends a piece of a name";
    for (std::string_view kind : kKinds) {  // "main_Addr.": the blank before the kind missing
      if (c == '.' && k + 1 > kind.size() &&
          field.substr(k + 1 - kind.size(), kind.size()) == kind) {
        return "the name and the kind run together in " + Quote(field) +
               ": a space or tab goes between them";
      }
    }
    return shown + " holds " + ByteName(c) + ": names are letters, digits and _";
  }
  return shown + " is no name";
}

// The name field of a line whose first token is no name or piece followed by a blank.
std::string NameFieldReason(std::string_view line, const LineScan& scan, std::string_view noun) {
  std::size_t start = scan.count() > 0 ? scan.tokens[0].begin : scan.skip_at;
  std::string lookalike = Lookalike(line, start);
  if (!lookalike.empty()) {
    return lookalike + " before the " + std::string(noun) +
           ": fields are separated by spaces or tabs";
  }
  if (scan.Is(0, LineToken::kWord) && IsNameStart(ByteAt(line, start))) {
    std::size_t after = scan.tokens[0].end;
    std::string word = Quote(line.substr(start, after - start));
    lookalike = Lookalike(line, after);
    if (!lookalike.empty()) {
      return lookalike + " after the " + std::string(noun) + " " + word +
             ": fields are separated by spaces or tabs";
    }
    if (ByteAt(line, after) == '\f') {
      return "a form feed after the " + std::string(noun) + " " + word +
             ": a name is followed by a space or tab";
    }
  }
  return NameReason(noun, FieldFrom(line, start));
}

std::string KindReason(std::string_view field) {
  for (std::string_view kind : kKinds) {
    if (SameLetters(field, kind)) {
      return "kind " + Quote(field) + " is not '" + std::string(kind) +
             "': kind keywords are case-sensitive";
    }
    if (kind.back() == '.' && SameLetters(std::string(field) + ".", kind)) {
      return "kind " + Quote(field) + " lacks its '.': the keyword is '" + std::string(kind) + "'";
    }
  }
  if (SameLetters(field, "a") || SameLetters(field, "g") || SameLetters(field, "s") ||
      HexPrefixed(field)) {
    return "no kind after the name: " + Quote(field) + " stands where " + std::string(kKindList) +
           " belongs";
  }
  return "unknown kind " + Quote(field) + " (" + std::string(kKindList) + ")";
}

std::string ScopeReason(std::string_view field) {
  if (field == "A" || field == "G" || field == "S") {
    return "scope " + Quote(field) + " must be lower case (a, g or s)";
  }
  if (HexPrefixed(field)) {
    return "no scope between the kind and the value " + Quote(field) + " (a, g or s)";
  }
  return "scope " + Quote(field) + " is not a, g or s";
}

std::string ValueReason(std::string_view field) {
  if (field.size() >= 2 && field[0] == '0' && field[1] == 'X') {
    return "value " + Quote(field) + " needs a lower-case x in 0x";
  }
  if (field == "0x") return "value '0x' has no hexadecimal digits";
  if (HexPrefixed(field)) {
    return "value " + Quote(field) + " is not 0x and hexadecimal digits (and an optional (d))";
  }
  return "value " + Quote(field) + " does not begin with 0x";
}

// A line whose tokens stop short of an entry: what came where the next field belongs.
std::string FieldReason(std::string_view line, const LineScan& scan) {
  const auto& t = scan.tokens;
  std::size_t n = scan.count();
  bool name = scan.Is(0, LineToken::kName) || scan.Is(0, LineToken::kNamePart);
  if (!name || (n == 1 && scan.skipped && scan.skip_at == t[0].end)) {
    return NameFieldReason(line, scan, "name");
  }
  if (!scan.skipped) {
    if (n == 1) return "the line ends after the name";
    if (n == 2)
      return "no scope and value after the kind " +
             Quote(line.substr(t[1].begin, t[1].end - t[1].begin));
    if (n == 3) return "no value after the scope";
    return "makes no symbol";
  }
  std::size_t at = scan.skip_at;
  static constexpr const char* kBefore[] = {"", "the kind", "the scope", "the value"};
  std::string lookalike = Lookalike(line, at);
  if (!lookalike.empty()) {
    if (n >= 4) return lookalike + " after the value: the line is a syntax error";
    return lookalike + " before " + kBefore[n] + ": fields are separated by spaces or tabs";
  }
  std::string_view field = FieldFrom(line, at);
  switch (n) {
    case 1:
      return KindReason(field);
    case 2:
      return ScopeReason(field);
    case 3:
      if (at == t[2].end) return ScopeReason(FieldFrom(line, t[2].begin));
      return ValueReason(field);
    default:
      if (at == t[3].end) return ValueReason(FieldFrom(line, t[3].begin));
      return Quote(FieldAround(line, at)) +
             " after the value is a syntax error (trailing words are letters, digits, _ - * [ ])";
  }
}

// A value the library does not convert: its entry makes no symbol.
std::string ConversionReason(std::string_view value) {
  std::size_t suffix = value.back() == ')' ? 3 : 0;
  std::size_t digits = value.size() - 2 - suffix;
  if (value.size() - suffix > kLongestValueText) {
    return "value of " + std::to_string(value.size() - suffix) +
           " characters: longer than 255 do not convert, no symbol";
  }
  if (digits > 8) {
    return "value " + Quote(value) + " has " + std::to_string(digits) +
           " digits: more than eight do not convert, no symbol";
  }
  return "";
}

// What line m is, when a continued name needed a piece there.
std::string BreakReason(const MapLines& lines, std::size_t m) {
  std::string_view line = lines.text[m];
  const LineScan& s = lines.scans[m];
  std::string at = "line " + std::to_string(m + 1);
  if (line.empty()) return at + " is empty: the pieces of a name follow one another";
  if (!s.name_field) return at + " " + StartReason(line);
  if (s.Head()) return at + " begins another continued name";
  if (s.Entry()) return at + " is an entry of its own, not a piece";
  if (s.count() == 0 && !s.skipped) return at + " holds only spaces";
  bool piece_alone = s.count() == 1 && (!s.skipped || s.skip_at == s.tokens[0].end);
  if (piece_alone || s.count() == 0 || s.Is(0, LineToken::kWord)) {
    return "at " + at + ", " + NameFieldReason(line, s, "piece");
  }
  return at + " holds more than a piece: each piece stands alone on its line";
}

// Why the continued name whose head is line i was not completed.
std::string ContinuationReason(const MapLines& lines, std::size_t i) {
  const std::string not_completed = "the name continued here is not completed: ";
  for (std::size_t m = i + 1; m < lines.size(); ++m) {
    const LineScan& s = lines.scans[m];
    bool last_line = m + 1 == lines.size();
    if ((s.MiddlePiece() || s.LastPiece()) && last_line && !lines.last_has_end) {
      return not_completed + "its last line, " + std::to_string(m + 1) + ", has no line end";
    }
    if (s.MiddlePiece()) continue;
    if (s.LastPiece()) return "makes no symbol";
    return not_completed + BreakReason(lines, m);
  }
  return not_completed + "the input ends before its last piece";
}

}  // namespace

std::string ShowText(std::string_view text) {
  std::string shown;
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F) {
      shown += ch;
    } else if (c == '\t') {
      shown += "\\t";
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
    }
  }
  return shown;
}

bool SymbolLike(std::string_view line) {
  unsigned char first = ByteAt(line, 0);
  bool blank = first == ' ' || first == '\t' || first == '\f' || first == '\v' || first == 0xA0 ||
               (first == 0xC2 && ByteAt(line, 1) == 0xA0);
  if (line.empty() || !blank) return false;
  for (std::size_t i = 0; i < line.size();) {
    if (!IsNameChar(ByteAt(line, i))) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < line.size() && IsNameChar(ByteAt(line, end))) ++end;
    std::string_view word = line.substr(i, end - i);
    std::string dotted = std::string(word) + (ByteAt(line, end) == '.' ? "." : "");
    for (std::string_view kind : kKinds) {
      if (SameLetters(kind.back() == '.' ? dotted : std::string(word), kind)) return true;
    }
    if (HexPrefixed(word) && IsHexDigit(ByteAt(word, 2))) return true;
    i = end;
  }
  return false;
}

std::string WhyNoSymbol(const MapLines& lines, std::size_t i, std::size_t open_head) {
  std::string_view line = lines.text[i];
  const LineScan& scan = lines.scans[i];
  if (!scan.name_field) return StartReason(line);
  if (scan.longest > kLongestToken) {
    return "a word of " + std::to_string(scan.longest) +
           " bytes: the library stops at a token of 8192 bytes or more";
  }
  if (!scan.Entry()) return FieldReason(line, scan);
  const LineScan::Token& value = scan.tokens[3];
  std::string reason = ConversionReason(line.substr(value.begin, value.end - value.begin));
  if (!reason.empty()) return reason;
  if (open_head != kNoOpenHead) {
    return "an entry where the name continued at line " + std::to_string(open_head + 1) +
           " needs its next piece: a syntax error";
  }
  if (scan.Head()) return ContinuationReason(lines, i);
  return "makes no symbol";
}

std::string OwnFault(const MapLines& lines, std::size_t i) {
  const LineScan& scan = lines.scans[i];
  if (!scan.name_field || scan.longest > kLongestToken || !scan.Entry()) {
    return WhyNoSymbol(lines, i, kNoOpenHead);
  }
  const LineScan::Token& value = scan.tokens[3];
  return ConversionReason(lines.text[i].substr(value.begin, value.end - value.begin));
}

std::size_t NameLength(const MapLines& lines, std::size_t i) {
  const LineScan& scan = lines.scans[i];  // a line the library made a symbol of: tokens
  auto length = [](const LineScan::Token& t) { return t.end - t.begin; };
  if (!scan.Head()) return length(scan.tokens[0]);
  std::size_t total = length(scan.tokens[0]) - 1;  // without its '+'
  for (std::size_t m = i + 1; m < lines.size(); ++m) {
    const LineScan& s = lines.scans[m];
    if (s.MiddlePiece()) {
      total += length(s.tokens[0]) - 1;
    } else {
      if (s.LastPiece()) total += length(s.tokens[0]);
      break;
    }
  }
  return total;
}
