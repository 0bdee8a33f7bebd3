// SPDX-License-Identifier: MIT
// The scanner's rules, one matcher per start condition, for NextToken and the whole-line
// reader. Each matcher finds the winning rule at the current position in one forward pass: it
// reads ahead only while some rule active in the condition can still match, and reports when
// that read-ahead reaches the end of the buffered bytes, so that the buffer is refilled and the
// token matched whole.
//
// The rules, in precedence order (longest match wins; at equal length the earlier rule):
//   kRuleIndent       LINE_START at line start  [ ]+                  -> NAME_FIELD
//   kRuleNamePart     NAME_FIELD   [A-Za-z_][0-9A-Za-z_]*\+           NAME_PART   -> KIND_FIELD
//   kRuleDigitPart    NAME_FIELD   [0-9A-Za-z_]+\+                    DIGIT_PART  -> KIND_FIELD
//   kRuleName         NAME_FIELD   [A-Za-z_][0-9A-Za-z_]* before [\t ] NAME      -> KIND_FIELD
//   kRuleWord         NAME_FIELD   [0-9A-Za-z_]+                      WORD        -> KIND_FIELD
//   kRuleKeyword + k  KIND_FIELD   the keyword of kind k (Addr. to arg.), ADDRESS_KIND for the
//                                  address kinds, SYMBOL_KIND for the others -> SCOPE_FIELD
//   kRuleHeadEnd      KIND_FIELD   \r?\n                              ENTRY_LINE_END -> LINE_START
//   kRuleScope        SCOPE_FIELD  [ags]                              SCOPE       -> VALUE_FIELD
//   kRuleHex          VALUE_FIELD  0x[0-9A-Fa-f]+                     HEX_VALUE   -> AFTER_VALUE
//   kRuleHexBit       VALUE_FIELD  0x[0-9A-Fa-f]+\([0-9]\)            HEX_VALUE   -> AFTER_VALUE
//   kRuleTrailWord    AFTER_VALUE  [-*\[\]0-9A-Za-z_]+                (skipped)
//   kRuleEntryEnd     AFTER_VALUE  \r?\n                              ENTRY_LINE_END -> LINE_START
//   kRuleLineEnd      every        \r?\n                              LINE_END    -> LINE_START
//   kRuleSkipWord     every        [-0-9A-Za-z_]+                     (skipped)   -> SKIP_LINE
//   kRuleBlank        every        [\t\f ]                            (skipped)
//   kRuleOther        every        [^\n]                              (skipped)   -> SKIP_LINE
// Carriage returns never reach the rules: the text-mode layer has removed them.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "common/short_copy.h"
#include "scanner/byte_runs.h"
#include "scanner/char_class.h"
#include "scanner/hex_convert.h"
#include "scanner/scanner.h"
#include "scanner/symbol_kind.h"

namespace k8map::rules {

using Byte = unsigned char;

enum class ValueAction : std::uint8_t { kNone, kText, kTextWithoutMark, kHex, kHexWithoutSuffix };

struct RuleAction {
  int token;           // 0: no token, matching goes on
  int next_condition;  // -1: the condition stays
  ValueAction value;
};

inline constexpr int kStay = -1;

// The scanner's rules, in precedence order; kNoRule stands for none (the read-ahead reached the
// end of the buffered bytes). The kind keywords' rules follow one another in kind order.
enum Rule : int {
  kNoRule,
  kRuleIndent,
  kRuleNamePart,
  kRuleDigitPart,
  kRuleName,
  kRuleWord,
  kRuleKeyword,  // the rule of kind k's keyword is kRuleKeyword + k - kKindAddr
  kRuleLastKeyword = kRuleKeyword + kKindCount - 1,
  kRuleHeadEnd,
  kRuleScope,
  kRuleHex,
  kRuleHexBit,
  kRuleTrailWord,
  kRuleEntryEnd,
  kRuleLineEnd,
  kRuleSkipWord,
  kRuleBlank,
  kRuleOther,
  kRuleCount
};

constexpr Rule KeywordRule(SymbolKind kind) {
  return static_cast<Rule>(int{kRuleKeyword} + int{kind} - int{kKindAddr});
}
constexpr bool IsKeywordRule(int rule) {
  return rule >= kRuleKeyword && rule <= kRuleLastKeyword;
}
constexpr SymbolKind KindOfRule(int rule) {
  return static_cast<SymbolKind>(rule - int{kRuleKeyword} + int{kKindAddr});
}

// What each rule does, by rule.
struct RuleActionTable {
  RuleAction action[kRuleCount];
  constexpr RuleActionTable() : action() {
    auto set = [&](Rule rule, int token, int next, ValueAction value) {
      action[rule] = {token, next, value};
    };
    set(kNoRule, 0, kStay, ValueAction::kNone);
    set(kRuleIndent, 0, NAME_FIELD, ValueAction::kNone);
    set(kRuleNamePart, NAME_PART, KIND_FIELD, ValueAction::kTextWithoutMark);
    set(kRuleDigitPart, DIGIT_PART, KIND_FIELD, ValueAction::kTextWithoutMark);
    set(kRuleName, NAME, KIND_FIELD, ValueAction::kText);
    set(kRuleWord, WORD, KIND_FIELD, ValueAction::kText);
    for (int kind = kKindAddr; kind <= kKindCount; ++kind) {
      set(KeywordRule(static_cast<SymbolKind>(kind)),
          IsAddressKind(kind) ? ADDRESS_KIND : SYMBOL_KIND, SCOPE_FIELD, ValueAction::kNone);
    }
    set(kRuleHeadEnd, ENTRY_LINE_END, LINE_START, ValueAction::kNone);
    set(kRuleScope, SCOPE, VALUE_FIELD, ValueAction::kNone);
    set(kRuleHex, HEX_VALUE, AFTER_VALUE, ValueAction::kHex);
    set(kRuleHexBit, HEX_VALUE, AFTER_VALUE, ValueAction::kHexWithoutSuffix);
    set(kRuleTrailWord, 0, kStay, ValueAction::kNone);
    set(kRuleEntryEnd, ENTRY_LINE_END, LINE_START, ValueAction::kNone);
    set(kRuleLineEnd, LINE_END, LINE_START, ValueAction::kNone);
    set(kRuleSkipWord, 0, SKIP_LINE, ValueAction::kNone);
    set(kRuleBlank, 0, kStay, ValueAction::kNone);
    set(kRuleOther, 0, SKIP_LINE, ValueAction::kNone);
  }
};
inline constexpr RuleActionTable kRuleActionTable;
inline constexpr const RuleAction* kRuleActions = kRuleActionTable.action;

// The outcome of matching at one position: the winning rule and the length of its token
// text, or kNoRule when the read-ahead reached the end of the buffered bytes.
struct Match {
  int rule;
  int length;
};

inline constexpr Match kNeedMore{kNoRule, 0};

// Where matching looks: the buffered bytes end at `end` (the first end mark); `final` says no
// more bytes will follow them; runs are measured as wide as the parse's search.
struct Window {
  const Byte* end;
  bool final;
  SearchWidth width;

  // A run that reaches the end mark may go on in bytes not yet read.
  bool Cut(const Byte* run_end) const { return run_end == end && !final; }
};

// Length of the run of bytes of one class. The end mark is in no class, so it stops every run.
inline int Run(const Byte* p, std::uint8_t mask, SearchWidth width) {
  switch (mask) {
    case kBlank:
      return RunLength<RunClass::kBlank>(p, width);
    case kNameChar:
      return RunLength<RunClass::kNameChar>(p, width);
    case kSkipWordChar:
      return RunLength<RunClass::kSkipWordChar>(p, width);
    case kTrailWordChar:
      return RunLength<RunClass::kTrailWordChar>(p, width);
    case kHexDigit:
      return RunLength<RunClass::kHexDigit>(p, width);
  }
  const Byte* q = p;
  while (IsClass(*q, mask)) ++q;
  return static_cast<int>(q - p);
}

// The rules every condition shares for a byte that starts no longer token: a line end
// (line_end_rule: kRuleHeadEnd, kRuleEntryEnd or kRuleLineEnd), a blank or any other byte.
inline Match SingleByte(Byte c, Rule line_end_rule) {
  if (c == '\n') return {line_end_rule, 1};
  if (IsClass(c, kBlank)) return {kRuleBlank, 1};
  return {kRuleOther, 1};
}

// A skip word from p, whose first byte is a skip-word character.
inline Match SkipWord(const Byte* p, const Window& w) {
  int m = Run(p, kSkipWordChar, w.width);
  if (w.Cut(p + m)) return kNeedMore;
  return {kRuleSkipWord, m};
}

inline Match MatchLineStart(const Byte* p, const Window& w, bool at_line_start) {
  Byte c = *p;
  if (c == ' ' && at_line_start) {
    const Byte* q = p;
    while (*q == ' ') ++q;
    if (w.Cut(q)) return kNeedMore;
    return {kRuleIndent, static_cast<int>(q - p)};
  }
  if (IsClass(c, kSkipWordChar)) return SkipWord(p, w);
  return SingleByte(c, kRuleLineEnd);
}

inline Match MatchNameField(const Byte* p, const Window& w) {
  Byte c = *p;
  if (!IsClass(c, kNameChar)) {
    if (IsClass(c, kSkipWordChar)) return SkipWord(p, w);
    return SingleByte(c, kRuleLineEnd);
  }
  int n = Run(p, kNameChar, w.width);
  const Byte* q = p + n;
  if (w.Cut(q)) return kNeedMore;
  Byte next = *q;
  if (next == '+') return {IsClass(c, kNameStart) ? kRuleNamePart : kRuleDigitPart, n + 1};
  if (IsClass(next, kNameEndBlank) && IsClass(c, kNameStart)) return {kRuleName, n};
  if (next == '-') return SkipWord(p, w);
  return {kRuleWord, n};
}

// The kind keyword of a skip word of m bytes at p, whose next byte p[m] has been read: dotted
// keywords win over a skip word whatever follows them; "EQU" and "bit" only when no skip-word
// character follows. Anything else is a skip word.
inline Match KindKeyword(const Byte* p, int m) {
  if (m != 3 && m != 4) return {kRuleSkipWord, m};
  if (p[m] == '.') {
    if (SymbolKind kind = KindOfField(p, m + 1); kind != kKindNone) {
      return {KeywordRule(kind), m + 1};
    }
  }
  SymbolKind plain = m == 3 ? KindOfField(p, 3) : kKindNone;
  if (plain != kKindNone) return {KeywordRule(plain), 3};
  return {kRuleSkipWord, m};
}

inline Match MatchKindField(const Byte* p, const Window& w) {
  Byte c = *p;
  if (!IsClass(c, kSkipWordChar)) return SingleByte(c, kRuleHeadEnd);
  int m = Run(p, kSkipWordChar, w.width);
  if (w.Cut(p + m)) return kNeedMore;
  return KindKeyword(p, m);
}

inline Match MatchScopeField(const Byte* p, const Window& w) {
  Byte c = *p;
  if (!IsClass(c, kSkipWordChar)) return SingleByte(c, kRuleLineEnd);
  int m = Run(p, kSkipWordChar, w.width);
  if (w.Cut(p + m)) return kNeedMore;
  if (m == 1 && IsScopeLetter(c)) return {kRuleScope, 1};
  return {kRuleSkipWord, m};
}

// A value is "0x" and hex digits ending the skip word, optionally followed by "(d)".
inline Match MatchValueField(const Byte* p, const Window& w) {
  Byte c = *p;
  if (!IsClass(c, kSkipWordChar)) return SingleByte(c, kRuleLineEnd);
  int m = Run(p, kSkipWordChar, w.width);
  if (w.Cut(p + m)) return kNeedMore;
  bool hex_word = m >= 3 && p[0] == '0' && p[1] == 'x' && 2 + Run(p + 2, kHexDigit, w.width) == m;
  if (!hex_word) return {kRuleSkipWord, m};
  const Byte* q = p + m;
  if (*q != '(' || q + 1 == w.end) {
    return (*q == '(' && !w.final) ? kNeedMore : Match{kRuleHex, m};
  }
  bool digit = q[1] >= '0' && q[1] <= '9';
  if (!digit) return {kRuleHex, m};
  if (q + 2 == w.end) return w.final ? Match{kRuleHex, m} : kNeedMore;
  return q[2] == ')' ? Match{kRuleHexBit, m + 3} : Match{kRuleHex, m};
}

inline Match MatchAfterValue(const Byte* p, const Window& w) {
  Byte c = *p;
  if (!IsClass(c, kTrailWordChar)) return SingleByte(c, kRuleEntryEnd);
  int t = Run(p, kTrailWordChar, w.width);
  if (w.Cut(p + t)) return kNeedMore;
  return {kRuleTrailWord, t};
}

inline Match MatchSkipLine(const Byte* p, const Window& w) {
  Byte c = *p;
  if (IsClass(c, kSkipWordChar)) return SkipWord(p, w);
  return SingleByte(c, kRuleLineEnd);
}

inline Match MatchToken(StartCondition condition, bool at_line_start, const Byte* p,
                        const Window& w) {
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
  return SingleByte(*p, kRuleLineEnd);
}

// Copies a name text into the token value: at most 255 bytes and the terminator.
inline void StoreText(TokenValue& value, const char* text, int length) {
  if (length > kTokenValueSize - 1) length = kTokenValueSize - 1;
  ShortCopy(value.text, text, static_cast<std::size_t>(length));
  value.text[length] = '\0';
  value.text_length = length;
}

// Converts the value of kRuleHex and kRuleHexBit: what ConvertHexText makes of the upper-cased
// token text without the "(d)" suffix of kRuleHexBit. That text is always "0X" and hexadecimal
// digits, so the conversion reduces to this: one to eight digits give their value; more digits (or
// 256 characters and more) fail, and the value stays unconverted.
inline void StoreHexValue(TokenValue& value, const char* text, int length) {
  int digits = length - 2;
  if (digits > 8) {
    value.converted = false;
    return;
  }
  std::uint32_t number = HexDigitsValue(text + 2, digits);
  value.number = number;
  value.converted = true;
}

}  // namespace k8map::rules
