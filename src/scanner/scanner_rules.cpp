// The scanner rules and start conditions. Each start condition has a matcher that finds the
// winning rule at the current position in one forward pass: it reads ahead only while some
// rule active in the condition can still match, and reports when that read-ahead reaches the
// end of the buffered bytes, so that the buffer is refilled and the token matched whole.
//
// The rules, in precedence order (longest match wins; at equal length the lower number):
//   1  LINE_START at line start  [ ]+                          -> NAME_FIELD
//   2  NAME_FIELD   [A-Za-z_][0-9A-Za-z_]*\+                   NAME_PART   -> KIND_FIELD
//   3  NAME_FIELD   [0-9A-Za-z_]+\+                            DIGIT_PART  -> KIND_FIELD
//   4  NAME_FIELD   [A-Za-z_][0-9A-Za-z_]* before [\t ]        NAME        -> KIND_FIELD
//   5  NAME_FIELD   [0-9A-Za-z_]+                              WORD        -> KIND_FIELD
//   6  KIND_FIELD   "Addr."                                    ADDRESS_KIND -> SCOPE_FIELD
//   7  KIND_FIELD   "loc."                                     ADDRESS_KIND -> SCOPE_FIELD
//   8  KIND_FIELD   "EQU"                                      SYMBOL_KIND  -> SCOPE_FIELD
//   9  KIND_FIELD   "bit"                                      SYMBOL_KIND  -> SCOPE_FIELD
//  10  KIND_FIELD   "Func."                                    SYMBOL_KIND  -> SCOPE_FIELD
//  11  KIND_FIELD   "Var."                                     SYMBOL_KIND  -> SCOPE_FIELD
//  12  KIND_FIELD   "arg."                                     SYMBOL_KIND  -> SCOPE_FIELD
//  13  KIND_FIELD   \r?\n                                      ENTRY_LINE_END -> LINE_START
//  14  SCOPE_FIELD  [ags]                                      SCOPE       -> VALUE_FIELD
//  15  VALUE_FIELD  0x[0-9A-Fa-f]+                             HEX_VALUE   -> AFTER_VALUE
//  16  VALUE_FIELD  0x[0-9A-Fa-f]+\([0-9]\)                    HEX_VALUE   -> AFTER_VALUE
//  17  AFTER_VALUE  [-*\[\]0-9A-Za-z_]+                        (skipped)
//  18  AFTER_VALUE  \r?\n                                      ENTRY_LINE_END -> LINE_START
//  19  every        \r?\n                                      LINE_END    -> LINE_START
//  20  every        [-0-9A-Za-z_]+                             (skipped)   -> SKIP_LINE
//  21  every        [\t\f ]                                    (skipped)
//  22  every        [^\n]                                      (skipped)   -> SKIP_LINE
// Carriage returns never reach the rules: the text-mode layer has removed them.
#include <bit>
#include <cstdint>
#include <cstring>

#include "common/short_copy.h"
#include "scanner/byte_runs.h"
#include "scanner/char_class.h"
#include "scanner/scanner.h"

namespace k8map {
namespace {

using Byte = unsigned char;

enum class ValueAction : std::uint8_t { kNone, kText, kTextWithoutMark, kHex, kHexWithoutSuffix };

struct RuleAction {
  int token;           // 0: no token, matching goes on
  int next_condition;  // -1: the condition stays
  ValueAction value;
};

constexpr int kStay = -1;

// Indexed by rule number; entry 0 is unused.
constexpr RuleAction kRuleActions[] = {
    {0, kStay, ValueAction::kNone},
    {0, NAME_FIELD, ValueAction::kNone},                       // 1
    {NAME_PART, KIND_FIELD, ValueAction::kTextWithoutMark},    // 2
    {DIGIT_PART, KIND_FIELD, ValueAction::kTextWithoutMark},   // 3
    {NAME, KIND_FIELD, ValueAction::kText},                    // 4
    {WORD, KIND_FIELD, ValueAction::kText},                    // 5
    {ADDRESS_KIND, SCOPE_FIELD, ValueAction::kNone},           // 6
    {ADDRESS_KIND, SCOPE_FIELD, ValueAction::kNone},           // 7
    {SYMBOL_KIND, SCOPE_FIELD, ValueAction::kNone},            // 8
    {SYMBOL_KIND, SCOPE_FIELD, ValueAction::kNone},            // 9
    {SYMBOL_KIND, SCOPE_FIELD, ValueAction::kNone},            // 10
    {SYMBOL_KIND, SCOPE_FIELD, ValueAction::kNone},            // 11
    {SYMBOL_KIND, SCOPE_FIELD, ValueAction::kNone},            // 12
    {ENTRY_LINE_END, LINE_START, ValueAction::kNone},          // 13
    {SCOPE, VALUE_FIELD, ValueAction::kNone},                  // 14
    {HEX_VALUE, AFTER_VALUE, ValueAction::kHex},               // 15
    {HEX_VALUE, AFTER_VALUE, ValueAction::kHexWithoutSuffix},  // 16
    {0, kStay, ValueAction::kNone},                            // 17
    {ENTRY_LINE_END, LINE_START, ValueAction::kNone},          // 18
    {LINE_END, LINE_START, ValueAction::kNone},                // 19
    {0, SKIP_LINE, ValueAction::kNone},                        // 20
    {0, kStay, ValueAction::kNone},                            // 21
    {0, SKIP_LINE, ValueAction::kNone},                        // 22
};

// The outcome of matching at one position: the winning rule and the length of its token
// text, or rule 0 when the read-ahead reached the end of the buffered bytes.
struct Match {
  int rule;
  int length;
};

constexpr Match kNeedMore{0, 0};

// Where matching looks: the buffered bytes end at `end` (the first end mark); `final` says no
// more bytes will follow them.
struct Window {
  const Byte* end;
  bool final;

  // A run that reaches the end mark may go on in bytes not yet read.
  bool Cut(const Byte* run_end) const { return run_end == end && !final; }
};

// Length of the run of bytes of one class. The end mark is in no class, so it stops every run.
inline int Run(const Byte* p, std::uint8_t mask) {
  switch (mask) {
    case kBlank:
      return RunLength<RunClass::kBlank>(p);
    case kNameChar:
      return RunLength<RunClass::kNameChar>(p);
    case kSkipWordChar:
      return RunLength<RunClass::kSkipWordChar>(p);
    case kTrailWordChar:
      return RunLength<RunClass::kTrailWordChar>(p);
    case kHexDigit:
      return RunLength<RunClass::kHexDigit>(p);
  }
  const Byte* q = p;
  while (IsClass(*q, mask)) ++q;
  return static_cast<int>(q - p);
}

// The rules every condition shares for a byte that starts no longer token: a line end
// (line_end_rule: 13, 18 or 19), a blank (21) or any other byte (22).
inline Match SingleByte(Byte c, int line_end_rule) {
  if (c == '\n') return {line_end_rule, 1};
  if (IsClass(c, kBlank)) return {21, 1};
  return {22, 1};
}

// Rule 20 from p, whose first byte is a skip-word character.
inline Match SkipWord(const Byte* p, const Window& w) {
  int m = Run(p, kSkipWordChar);
  if (w.Cut(p + m)) return kNeedMore;
  return {20, m};
}

Match MatchLineStart(const Byte* p, const Window& w, bool at_line_start) {
  Byte c = *p;
  if (c == ' ' && at_line_start) {
    const Byte* q = p;
    while (*q == ' ') ++q;
    if (w.Cut(q)) return kNeedMore;
    return {1, static_cast<int>(q - p)};
  }
  if (IsClass(c, kSkipWordChar)) return SkipWord(p, w);
  return SingleByte(c, 19);
}

Match MatchNameField(const Byte* p, const Window& w) {
  Byte c = *p;
  if (!IsClass(c, kNameChar)) {
    if (IsClass(c, kSkipWordChar)) return SkipWord(p, w);
    return SingleByte(c, 19);
  }
  int n = Run(p, kNameChar);
  const Byte* q = p + n;
  if (w.Cut(q)) return kNeedMore;
  Byte next = *q;
  if (next == '+') return {IsClass(c, kNameStart) ? 2 : 3, n + 1};
  if (IsClass(next, kNameEndBlank) && IsClass(c, kNameStart)) return {4, n};
  if (next == '-') return SkipWord(p, w);
  return {5, n};
}

// The kind keyword of a skip word of m bytes at p, whose next byte p[m] has been read: dotted
// keywords win over rule 20 whatever follows them; "EQU" and "bit" only when no skip-word
// character follows. Anything else is rule 20.
// The first four bytes of a keyword as one little-endian word.
constexpr std::uint32_t Word4(const char* k) {
  return static_cast<std::uint32_t>(static_cast<Byte>(k[0])) |
         static_cast<std::uint32_t>(static_cast<Byte>(k[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<Byte>(k[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<Byte>(k[3])) << 24;
}

inline Match KindKeyword(const Byte* p, int m) {
  if (m != 3 && m != 4) return {20, m};
  std::uint32_t word;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&word, p, sizeof word);  // p[3] is the byte after a three-byte word
  } else {
    word = Word4(reinterpret_cast<const char*>(p));
  }
  if (m == 4) {
    if (p[4] == '.' && word == Word4("Addr")) return {6, 5};
    if (p[4] == '.' && word == Word4("Func")) return {10, 5};
    return {20, 4};
  }
  std::uint32_t three = word & 0x00FFFFFFu;
  if (p[3] == '.') {
    if (three == (Word4("loc.") & 0x00FFFFFFu)) return {7, 4};
    if (three == (Word4("Var.") & 0x00FFFFFFu)) return {11, 4};
    if (three == (Word4("arg.") & 0x00FFFFFFu)) return {12, 4};
  }
  if (three == (Word4("EQU.") & 0x00FFFFFFu)) return {8, 3};
  if (three == (Word4("bit.") & 0x00FFFFFFu)) return {9, 3};
  return {20, 3};
}

Match MatchKindField(const Byte* p, const Window& w) {
  Byte c = *p;
  if (!IsClass(c, kSkipWordChar)) return SingleByte(c, 13);
  int m = Run(p, kSkipWordChar);
  if (w.Cut(p + m)) return kNeedMore;
  return KindKeyword(p, m);
}

Match MatchScopeField(const Byte* p, const Window& w) {
  Byte c = *p;
  if (!IsClass(c, kSkipWordChar)) return SingleByte(c, 19);
  int m = Run(p, kSkipWordChar);
  if (w.Cut(p + m)) return kNeedMore;
  if (m == 1 && (c == 'a' || c == 'g' || c == 's')) return {14, 1};
  return {20, m};
}

// A value is "0x" and hex digits ending the skip word, optionally followed by "(d)".
Match MatchValueField(const Byte* p, const Window& w) {
  Byte c = *p;
  if (!IsClass(c, kSkipWordChar)) return SingleByte(c, 19);
  int m = Run(p, kSkipWordChar);
  if (w.Cut(p + m)) return kNeedMore;
  bool hex_word = m >= 3 && p[0] == '0' && p[1] == 'x' && 2 + Run(p + 2, kHexDigit) == m;
  if (!hex_word) return {20, m};
  const Byte* q = p + m;
  if (*q != '(' || q + 1 == w.end) return (*q == '(' && !w.final) ? kNeedMore : Match{15, m};
  bool digit = q[1] >= '0' && q[1] <= '9';
  if (!digit) return {15, m};
  if (q + 2 == w.end) return w.final ? Match{15, m} : kNeedMore;
  return q[2] == ')' ? Match{16, m + 3} : Match{15, m};
}

Match MatchAfterValue(const Byte* p, const Window& w) {
  Byte c = *p;
  if (!IsClass(c, kTrailWordChar)) return SingleByte(c, 18);
  int t = Run(p, kTrailWordChar);
  if (w.Cut(p + t)) return kNeedMore;
  return {17, t};
}

Match MatchSkipLine(const Byte* p, const Window& w) {
  Byte c = *p;
  if (IsClass(c, kSkipWordChar)) return SkipWord(p, w);
  return SingleByte(c, 19);
}

Match MatchToken(StartCondition condition, bool at_line_start, const Byte* p, const Window& w) {
  switch (condition) {
    case LINE_START:
      return MatchLineStart(p, w, at_line_start);
    case NAME_FIELD:
      return MatchNameField(p, w);
    case KIND_FIELD:
      return MatchKindField(p, w);
    case SCOPE_FIELD:
      return MatchScopeField(p, w);
    case VALUE_FIELD:
      return MatchValueField(p, w);
    case AFTER_VALUE:
      return MatchAfterValue(p, w);
    case SKIP_LINE:
      return MatchSkipLine(p, w);
  }
  return SingleByte(*p, 19);
}

// Copies a name text into the token value: at most 255 bytes and the terminator.
void StoreText(TokenValue& value, const char* text, int length) {
  if (length > kTokenValueSize - 1) length = kTokenValueSize - 1;
  ShortCopy(value.text, text, static_cast<std::size_t>(length));
  value.text[length] = '\0';
  value.text_length = length;
}

// Converts the value of rules 15 and 16: what ConvertHexText makes of the upper-cased token
// text without the "(d)" suffix of rule 16. That text is always "0X" and hexadecimal digits, so
// the conversion reduces to this: one to eight digits give their value; more digits (or 256
// characters and more) fail, and the value stays unconverted.
void StoreHexValue(TokenValue& value, const char* text, int length) {
  int digits = length - 2;
  if (digits > 8) {
    value.converted = false;
    return;
  }
  std::uint32_t number = HexDigitsValue(text + 2, digits);
  value.number = number;
  value.converted = true;
}

void RunValueAction(Scanner& scanner, ValueAction action) {
  const char* text = scanner.token_text;
  int length = scanner.token_length;
  switch (action) {
    case ValueAction::kNone:
      return;
    case ValueAction::kText:
      return StoreText(scanner.value, text, length);
    case ValueAction::kTextWithoutMark:
      return StoreText(scanner.value, text, length - 1);
    case ValueAction::kHex:
      return StoreHexValue(scanner.value, text, length);
    case ValueAction::kHexWithoutSuffix:
      return StoreHexValue(scanner.value, text, length - 3);
  }
}

// A match whose rule returns no token: only its length limit and position matter, since no
// skipped text contains a line feed and nothing reads it. A blank (rule 21) is followed by as
// many further rule 21 matches as there are blanks behind it; they are taken in one step.
inline void SkipMatch(Scanner& scanner, const Byte* p, Match match) {
  if (match.length >= kTokenTextSize) ScannerFatal(kFatalTokenTooLarge);
  int length = match.length;
  if (match.rule == 21) length += Run(p + 1, kBlank);
  scanner.token_start += length;
  scanner.buffer.at_line_start = false;
}

// A match whose rule returns a token: its text is kept, and a line end (the only token whose
// text holds a line feed, and then only that) counts a line.
inline void CaptureReturnedToken(Scanner& scanner, const Byte* p, int length, int token) {
  if (length >= kTokenTextSize) ScannerFatal(kFatalTokenTooLarge);
  ShortCopy(scanner.token_text, reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
  scanner.token_text[length] = '\0';
  scanner.token_length = length;
  scanner.token_start += length;
  bool line_end = token == LINE_END || token == ENTRY_LINE_END;
  scanner.line_counter += line_end ? 1 : 0;
  scanner.buffer.at_line_start = line_end;
}

// The end-of-buffer event: its text is the pending bytes and the end mark. Returns false when
// the input has ended.
bool HandleEndOfBuffer(Scanner& scanner) {
  if (scanner.buffer.status == BUFFER_NEW) scanner.buffer.status = BUFFER_NORMAL;
  int pending = scanner.buffer.count - scanner.token_start;
  CaptureToken(scanner, pending + 1, true);
  return FillBuffer(scanner) != FILL_END_OF_INPUT;
}

// The symbol line of the common shape, read straight through: leading spaces (rule 1), blanks
// (rule 21), a NAME (rule 4), blanks, a kind keyword (rules 6 to 12), blanks, a scope letter
// (rule 14), blanks, a value (rule 15 or 16), blanks and trailing words (rules 21 and 17) up to
// the line feed (rule 18). Each step is the decision the rules make at that byte; at the first
// byte where they would do anything else the line is left to the general scan. No step reads
// past an end mark, and a line that reaches its line feed lies complete in the buffer.
struct SymbolLine {
  const Byte* name;
  int name_length;
  const Byte* value;
  int value_length;
  bool address;
  const Byte* line_feed;  // null when the line is not of this shape
};

// Runs measured one at a time from the bytes.
struct SerialRuns {
  const Byte* p;
  template <RunClass kClass>
  int Run(int pos) const {
    return RunLength<kClass>(p + pos);
  }
};

// A symbol line read with the runs of some measure; offsets from p.
template <typename Runs>
SymbolLine ReadSymbolLineWith(const Byte* p, const Runs& runs) {
  SymbolLine line{};
  if (p[0] != ' ') return line;  // only a space at the line start begins a name field
  int q = runs.template Run<RunClass::kBlank>(0);  // leading spaces (rule 1), then blanks (21)
  if (!IsClass(p[q], kNameStart)) return line;
  int name = q;
  q += runs.template Run<RunClass::kNameChar>(q);
  if (!IsClass(p[q], kNameEndBlank)) return line;
  line.name = p + name;
  line.name_length = q - name;
  q += runs.template Run<RunClass::kBlank>(q);
  Match kind = KindKeyword(p + q, runs.template Run<RunClass::kSkipWordChar>(q));
  if (kind.rule < 6 || kind.rule > 12) return line;
  line.address = kind.rule <= 7;
  q += kind.length;
  q += runs.template Run<RunClass::kBlank>(q);
  if ((p[q] != 'a' && p[q] != 'g' && p[q] != 's') || IsClass(p[q + 1], kSkipWordChar)) return line;
  ++q;
  q += runs.template Run<RunClass::kBlank>(q);
  if (p[q] != '0' || p[q + 1] != 'x') return line;
  int digits = runs.template Run<RunClass::kHexDigit>(q + 2);
  int e = q + 2 + digits;
  if (digits == 0 || IsClass(p[e], kSkipWordChar)) return line;
  line.value = p + q;
  line.value_length = 2 + digits;
  if (p[e] == '(' && p[e + 1] >= '0' && p[e + 1] <= '9' && p[e + 2] == ')') e += 3;
  for (q = e; p[q] != '\n';) {
    if (IsClass(p[q], kBlank)) {
      q += runs.template Run<RunClass::kBlank>(q);
    } else if (IsClass(p[q], kTrailWordChar)) {
      q += runs.template Run<RunClass::kTrailWordChar>(q);
    } else {
      return line;
    }
  }
  line.line_feed = p + q;
  return line;
}

#if defined(__SSE2__) && defined(__x86_64__)
// The runs of a line whose line feed lies within its first 64 bytes: blanks and name
// characters (most of a symbol line) from bit masks over those bytes computed at once, the
// rarer classes measured where they start. Every run ends at or before the line feed, inside
// the masks.
struct WindowRuns {
  const Byte* p;
  std::uint64_t blank = 0, name = 0, line_feed = 0;

  explicit WindowRuns(const Byte* line) : p(line) {
    using runs_detail::Members;
    for (int chunk = 0; chunk < 4; ++chunk) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * chunk));
      auto bits = [&](__m128i m) {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m)))
               << (16 * chunk);
      };
      blank |= bits(Members<RunClass::kBlank>(v));
      name |= bits(Members<RunClass::kNameChar>(v));
      line_feed |= bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
    }
  }

  template <RunClass kClass>
  int Run(int pos) const {
    if constexpr (kClass == RunClass::kBlank) {
      return std::countr_zero(~blank >> pos);  // a zero bit at the line feed ends every run
    } else if constexpr (kClass == RunClass::kNameChar) {
      return std::countr_zero(~name >> pos);
    } else {
      return RunLength<kClass>(p + pos);
    }
  }
};
// Keyword bytes as a little-endian word.
constexpr std::uint64_t KeyBytes(const char* k, int n) {
  std::uint64_t word = 0;
  for (int i = 0; i < n; ++i)
    word |= static_cast<std::uint64_t>(static_cast<Byte>(k[i])) << (8 * i);
  return word;
}

// The same reading as ReadSymbolLineWith, shaped for a short dependency chain from one field's
// position to the next: the kind and the value are measured by name-character runs from the
// masks, their other conditions are only checked, and the kind keyword is found by comparing
// whole words rather than by branching on its letters.
SymbolLine ReadSymbolLineFromMasks(const Byte* p, const WindowRuns& w) {
  SymbolLine line{};
  if (p[0] != ' ') return line;  // only a space at the line start begins a name field
  int q = w.Run<RunClass::kBlank>(0);
  if (!IsClass(p[q], kNameStart)) return line;
  int name = q;
  q += w.Run<RunClass::kNameChar>(q);
  if (!IsClass(p[q], kNameEndBlank)) return line;
  line.name = p + name;
  line.name_length = q - name;
  q += w.Run<RunClass::kBlank>(q);

  // A dotted keyword is its letters and the dot; "EQU" and "bit" are three name characters
  // that no skip-word character follows.
  std::uint64_t key;
  std::memcpy(&key, p + q, sizeof key);
  std::uint64_t key5 = key & 0xFFFFFFFFFFull, key4 = key & 0xFFFFFFFFull, key3 = key & 0xFFFFFFull;
  auto is = [](std::uint64_t a, std::uint64_t b) { return static_cast<int>(a == b); };
  int addr = is(key5, KeyBytes("Addr.", 5)), loc = is(key4, KeyBytes("loc.", 4));
  int five = addr | is(key5, KeyBytes("Func.", 5));
  int four = loc | is(key4, KeyBytes("Var.", 4)) | is(key4, KeyBytes("arg.", 4));
  int plain3 = is(static_cast<std::uint64_t>(w.Run<RunClass::kNameChar>(q)), 3) &
               static_cast<int>(p[q + 3] != '-');
  int three = plain3 & (is(key3, KeyBytes("EQU", 3)) | is(key3, KeyBytes("bit", 3)));
  if ((five | four | three) == 0) return line;
  line.address = (addr | loc) != 0;
  q += 3 + four + 2 * five;

  q += w.Run<RunClass::kBlank>(q);
  if ((p[q] != 'a' && p[q] != 'g' && p[q] != 's') || IsClass(p[q + 1], kSkipWordChar)) return line;
  ++q;
  q += w.Run<RunClass::kBlank>(q);

  // The value: "0x" and hexadecimal digits that end the skip word.
  if (p[q] != '0' || p[q + 1] != 'x') return line;
  int word = w.Run<RunClass::kNameChar>(q);
  if (word < 3 || p[q + word] == '-' || RunLength<RunClass::kHexDigit>(p + q + 2) != word - 2) {
    return line;
  }
  line.value = p + q;
  line.value_length = word;
  int e = q + word;
  if (p[e] == '(' && p[e + 1] >= '0' && p[e + 1] <= '9' && p[e + 2] == ')') e += 3;
  for (q = e; p[q] != '\n';) {
    if (IsClass(p[q], kBlank)) {
      q += w.Run<RunClass::kBlank>(q);
    } else if (IsClass(p[q], kTrailWordChar)) {
      q += RunLength<RunClass::kTrailWordChar>(p + q);
    } else {
      return line;
    }
  }
  line.line_feed = p + q;
  return line;
}
#endif

// A symbol line read from p. Its line feed, when it reaches one, is found apart from the walk
// where the masks give it, so that the next line's position does not wait for this line's
// fields.
SymbolLine ReadSymbolLine(const Byte* p, const Byte* end) {
#if defined(__SSE2__) && defined(__x86_64__)
  WindowRuns window(p);
  if (window.line_feed != 0) {
    const Byte* line_feed = p + std::countr_zero(window.line_feed);
    if (line_feed >= end) return {};
    SymbolLine line = ReadSymbolLineFromMasks(p, window);
    if (line.line_feed == nullptr) return line;
    line.line_feed = line_feed;  // the walk stops at the first line feed, this one
    return line;
  }
#endif
  (void)end;
  return ReadSymbolLineWith(p, SerialRuns{p});
}

// The tokens of a line complete in the buffer, through the rules; the shape when they are
// exactly LINE_END, or NAME, a kind, SCOPE, HEX_VALUE and ENTRY_LINE_END.
WholeLine::Shape ScanLineTokens(const Byte* p, const Byte* line_feed, const Window& window,
                                SymbolLine* line) {
  StartCondition condition = LINE_START;
  bool at_line_start = true;
  int tokens[5];
  int count = 0;
  for (const Byte* q = p; q <= line_feed;) {
    Match match = MatchToken(condition, at_line_start, q, window);
    const RuleAction& action = kRuleActions[match.rule];
    if (action.next_condition != kStay) {
      condition = static_cast<StartCondition>(action.next_condition);
    }
    at_line_start = false;
    if (action.token == 0) {
      q += match.rule == 21 ? 1 + Run(q + 1, kBlank) : match.length;
      continue;
    }
    if (count == 5) return WholeLine::kNotTaken;
    tokens[count++] = action.token;
    if (action.token == NAME) line->name = q, line->name_length = match.length;
    if (action.token == ADDRESS_KIND) line->address = true;
    if (action.token == HEX_VALUE) {
      line->value = q;
      line->value_length = match.rule == 16 ? match.length - 3 : match.length;
    }
    q += match.length;
  }
  if (count == 1 && tokens[0] == LINE_END) return WholeLine::kIgnoredLine;
  bool symbol_line = count == 5 && tokens[0] == NAME && tokens[2] == SCOPE &&
                     tokens[3] == HEX_VALUE && tokens[4] == ENTRY_LINE_END;
  return symbol_line ? WholeLine::kSymbolLine : WholeLine::kNotTaken;
}

}  // namespace

// Takes whole lines, one after another, while each lies complete in the buffer and its tokens
// are exactly LINE_END (any line that does not begin with a space, among others), or NAME, a
// kind, SCOPE, HEX_VALUE and ENTRY_LINE_END. The scanner is then where NextToken leaves it
// after the last taken line's last token: its text, the line counter, the condition.
int ScanWholeLines(Scanner& scanner, TakenSymbol* symbols, int capacity, int* symbol_count) {
  *symbol_count = 0;
  if (scanner.condition != LINE_START || !scanner.buffer.at_line_start) return 0;
  const Byte* base = reinterpret_cast<const Byte*>(scanner.buffer.storage);
  const Byte* end = base + scanner.buffer.count;
  const Byte* p = base + scanner.token_start;
  int line_number = scanner.line_counter;
  int taken = 0;
  while (*symbol_count < capacity) {
    SymbolLine line = ReadSymbolLine(p, end);
    const Byte* line_feed = line.line_feed;
    bool symbol_line = line_feed != nullptr;
    if (!symbol_line) {
      line_feed = static_cast<const Byte*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      if (line_feed == nullptr || line_feed - p >= kTokenTextSize) break;
      if (*p == ' ') {  // a line that does not begin with a space yields LINE_END alone
        line = SymbolLine{};
        Window window{end, scanner.buffer.status == BUFFER_END_PENDING};
        WholeLine::Shape shape = ScanLineTokens(p, line_feed, window, &line);
        if (shape == WholeLine::kNotTaken) break;
        symbol_line = shape == WholeLine::kSymbolLine;
      }
    }
    // Every token of a line shorter than the limit is within the limit.
    if (line_feed - p >= kTokenTextSize) break;
    if (symbol_line && line.address) {
      TakenSymbol& symbol = symbols[(*symbol_count)++];
      symbol.name = reinterpret_cast<const char*>(line.name);
      symbol.name_length =
          line.name_length < kTokenValueSize - 1 ? line.name_length : kTokenValueSize - 1;
      int digits = line.value_length - 2;  // the value is "0x" and hexadecimal digits
      symbol.converted = digits <= 8;
      symbol.number = symbol.converted
                          ? HexDigitsValue(reinterpret_cast<const char*>(line.value) + 2, digits)
                          : 0;
      symbol.line = line_number;
    }
    p = line_feed + 1;
    ++line_number;
    ++taken;
  }
  if (taken > 0) {
    scanner.token_text[0] = '\n';
    scanner.token_text[1] = '\0';
    scanner.token_length = 1;
    scanner.token_start = static_cast<int>(p - base);
    scanner.line_counter = line_number;
    scanner.buffer.at_line_start = true;
    scanner.condition = LINE_START;
  }
  return taken;
}

int NextToken(Scanner& scanner) {
  for (;;) {
    const Byte* base = reinterpret_cast<const Byte*>(scanner.buffer.storage);
    const Byte* p = base + scanner.token_start;
    Window window{base + scanner.buffer.count, scanner.buffer.status == BUFFER_END_PENDING};
    Match match = (p == window.end)
                      ? kNeedMore
                      : MatchToken(scanner.condition, scanner.buffer.at_line_start, p, window);
    if (match.rule == 0) {
      if (!HandleEndOfBuffer(scanner)) return END_OF_INPUT;
      continue;
    }
    const RuleAction& action = kRuleActions[match.rule];
    if (action.next_condition != kStay) {
      scanner.condition = static_cast<StartCondition>(action.next_condition);
    }
    if (action.token == 0) {
      SkipMatch(scanner, p, match);
      continue;
    }
    CaptureReturnedToken(scanner, p, match.length, action.token);
    RunValueAction(scanner, action.value);
    return action.token;
  }
}

}  // namespace k8map
