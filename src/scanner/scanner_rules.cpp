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
#include <cstring>

#include "scanner/char_class.h"
#include "scanner/hex_convert.h"
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

// Dotted keywords win over rule 20 whatever follows them; "EQU" and "bit" only when no
// skip-word character follows.
Match MatchKindField(const Byte* p, const Window& w) {
  Byte c = *p;
  if (!IsClass(c, kSkipWordChar)) return SingleByte(c, 13);
  int m = Run(p, kSkipWordChar);
  if (w.Cut(p + m)) return kNeedMore;
  const char* word = reinterpret_cast<const char*>(p);
  if (p[m] == '.') {
    if (m == 4 && std::memcmp(word, "Addr", 4) == 0) return {6, 5};
    if (m == 3 && std::memcmp(word, "loc", 3) == 0) return {7, 4};
    if (m == 4 && std::memcmp(word, "Func", 4) == 0) return {10, 5};
    if (m == 3 && std::memcmp(word, "Var", 3) == 0) return {11, 4};
    if (m == 3 && std::memcmp(word, "arg", 3) == 0) return {12, 4};
  }
  if (m == 3 && std::memcmp(word, "EQU", 3) == 0) return {8, 3};
  if (m == 3 && std::memcmp(word, "bit", 3) == 0) return {9, 3};
  return {20, m};
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

Match MatchToken(const Scanner& scanner, const Byte* p, const Window& w) {
  switch (scanner.condition) {
    case LINE_START:
      return MatchLineStart(p, w, scanner.buffer.at_line_start);
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
  std::memcpy(value.text, text, static_cast<std::size_t>(length));
  value.text[length] = '\0';
  value.text_length = length;
}

// Converts the value of rules 15 and 16 from an upper-cased copy of the token text, without
// the "(d)" suffix for rule 16. A text too long for the conversion stays unconverted.
void StoreHexValue(TokenValue& value, const char* text, int length) {
  if (length > kMaxValueTextLength) {
    value.converted = false;
    return;
  }
  char copy[kMaxValueTextLength + 1];
  for (int i = 0; i < length; ++i) copy[i] = ToUpperAscii(text[i]);
  copy[length] = '\0';
  value.converted = ConvertHexText(copy, &value.number) == ConvOk;
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

// The end-of-buffer event: its text is the pending bytes and the end mark. Returns false when
// the input has ended.
bool HandleEndOfBuffer(Scanner& scanner) {
  if (scanner.buffer.status == BUFFER_NEW) scanner.buffer.status = BUFFER_NORMAL;
  int pending = scanner.buffer.count - scanner.token_start;
  CaptureToken(scanner, pending + 1, true);
  return FillBuffer(scanner) != FILL_END_OF_INPUT;
}

}  // namespace

int NextToken(Scanner& scanner) {
  for (;;) {
    const Byte* base = reinterpret_cast<const Byte*>(scanner.buffer.storage);
    const Byte* p = base + scanner.token_start;
    Window window{base + scanner.buffer.count, scanner.buffer.status == BUFFER_END_PENDING};
    Match match = (p == window.end) ? kNeedMore : MatchToken(scanner, p, window);
    if (match.rule == 0) {
      if (!HandleEndOfBuffer(scanner)) return END_OF_INPUT;
      continue;
    }
    CaptureToken(scanner, match.length, false);
    const RuleAction& action = kRuleActions[match.rule];
    RunValueAction(scanner, action.value);
    if (action.next_condition != kStay) {
      scanner.condition = static_cast<StartCondition>(action.next_condition);
    }
    if (action.token != 0) return action.token;
  }
}

}  // namespace k8map
