// Whole lines at once: the common line shapes read straight through with the rules' own
// decisions, so that the parser can take them without a token at a time.
#include "scanner/rule_matchers.h"

namespace k8map {
namespace {

using namespace rules;

// The shape of a whole line: not taken, a line whose only token is LINE_END, or a symbol line
// of NAME, a kind, SCOPE, HEX_VALUE and ENTRY_LINE_END.
enum class LineShape { kNotTaken, kIgnoredLine, kSymbolLine };

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

// The rest of a symbol line from the end of its value's digits: an optional "(d)" (rule 16),
// then blanks (rule 21) and trailing words (rule 17) up to the line feed (rule 18). Returns
// the line feed, or null where the rules would do anything else.
const Byte* ValueSuffixAndTail(const Byte* q) {
  if (q[0] == '(' && q[1] >= '0' && q[1] <= '9' && q[2] == ')') q += 3;
  while (*q != '\n') {
    if (IsClass(*q, kBlank)) {
      q += RunLength<RunClass::kBlank>(q);
    } else if (IsClass(*q, kTrailWordChar)) {
      q += RunLength<RunClass::kTrailWordChar>(q);
    } else {
      return nullptr;
    }
  }
  return q;
}

// A symbol line read run by run from the bytes; offsets from p.
SymbolLine ReadSymbolLineSerially(const Byte* p) {
  SymbolLine line{};
  if (p[0] != ' ') return line;            // only a space at the line start begins a name field
  int q = RunLength<RunClass::kBlank>(p);  // leading spaces (rule 1), then blanks (21)
  if (!IsClass(p[q], kNameStart)) return line;
  int name = q;
  q += RunLength<RunClass::kNameChar>(p + q);
  if (!IsClass(p[q], kNameEndBlank)) return line;
  line.name = p + name;
  line.name_length = q - name;
  q += RunLength<RunClass::kBlank>(p + q);
  Match kind = KindKeyword(p + q, RunLength<RunClass::kSkipWordChar>(p + q));
  if (kind.rule < 6 || kind.rule > 12) return line;
  line.address = kind.rule <= 7;
  q += kind.length;
  q += RunLength<RunClass::kBlank>(p + q);
  if ((p[q] != 'a' && p[q] != 'g' && p[q] != 's') || IsClass(p[q + 1], kSkipWordChar)) return line;
  ++q;
  q += RunLength<RunClass::kBlank>(p + q);
  if (p[q] != '0' || p[q + 1] != 'x') return line;
  int digits = RunLength<RunClass::kHexDigit>(p + q + 2);
  int e = q + 2 + digits;
  if (digits == 0 || IsClass(p[e], kSkipWordChar)) return line;
  line.value = p + q;
  line.value_length = 2 + digits;
  line.line_feed = ValueSuffixAndTail(p + e);
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

// The same reading as ReadSymbolLineSerially, shaped for a short dependency chain from one field's
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
  int plain3 =
      static_cast<int>(w.Run<RunClass::kNameChar>(q) == 3) & static_cast<int>(p[q + 3] != '-');
  int three = plain3 & (is(key3, KeyBytes("EQU", 3)) | is(key3, KeyBytes("bit", 3)));
  if ((five | four | three) == 0) return line;
  line.address = (addr | loc) != 0;
  q += 3 + four + 2 * five;

  q += w.Run<RunClass::kBlank>(q);
  // The scope letter, tested without a branch per letter: which one it is varies line by line.
  int scope =
      static_cast<int>(p[q] == 'a') | static_cast<int>(p[q] == 'g') | static_cast<int>(p[q] == 's');
  if (scope == 0 || IsClass(p[q + 1], kSkipWordChar)) return line;
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
  line.line_feed = ValueSuffixAndTail(p + e);
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
  return ReadSymbolLineSerially(p);
}

// The tokens of a line complete in the buffer, through the rules; the shape when they are
// exactly LINE_END, or NAME, a kind, SCOPE, HEX_VALUE and ENTRY_LINE_END.
LineShape ScanLineTokens(const Byte* p, const Byte* line_feed, const Window& window,
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
    if (count == 5) return LineShape::kNotTaken;
    tokens[count++] = action.token;
    if (action.token == NAME) line->name = q, line->name_length = match.length;
    if (action.token == ADDRESS_KIND) line->address = true;
    if (action.token == HEX_VALUE) {
      line->value = q;
      line->value_length = match.rule == 16 ? match.length - 3 : match.length;
    }
    q += match.length;
  }
  if (count == 1 && tokens[0] == LINE_END) return LineShape::kIgnoredLine;
  bool symbol_line = count == 5 && tokens[0] == NAME && tokens[2] == SCOPE &&
                     tokens[3] == HEX_VALUE && tokens[4] == ENTRY_LINE_END;
  return symbol_line ? LineShape::kSymbolLine : LineShape::kNotTaken;
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
        LineShape shape = ScanLineTokens(p, line_feed, window, &line);
        if (shape == LineShape::kNotTaken) break;
        symbol_line = shape == LineShape::kSymbolLine;
      }
    }
    // Every token of a line shorter than the limit is within the limit.
    if (line_feed - p >= kTokenTextSize) break;
    if (symbol_line) {
      // The slot is filled for every symbol line and kept for an address kind: which kind a
      // line has varies too much to branch on.
      TakenSymbol& symbol = symbols[*symbol_count];
      symbol.name = reinterpret_cast<const char*>(line.name);
      symbol.name_length =
          line.name_length < kTokenValueSize - 1 ? line.name_length : kTokenValueSize - 1;
      int digits = line.value_length - 2;  // the value is "0x" and hexadecimal digits
      symbol.converted = digits <= 8;
      symbol.number =
          HexDigitsValue(reinterpret_cast<const char*>(line.value) + 2, digits <= 8 ? digits : 8);
      symbol.line = line_number;
      *symbol_count += line.address ? 1 : 0;
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

}  // namespace k8map
