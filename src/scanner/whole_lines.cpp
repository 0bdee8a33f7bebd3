// Whole lines at once: the common line shapes read straight through with the rules' own
// decisions, so that the parser can take them without a token at a time.
#include "scanner/rule_matchers.h"

// The wide line reader needs AVX2 and BMI, looked for when the library starts.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define K8MAP_WIDE_LINES 1
#include <immintrin.h>
#else
#define K8MAP_WIDE_LINES 0
#endif

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

// Keyword bytes as a little-endian word.
constexpr std::uint64_t KeyBytes(const char* k, int n) {
  std::uint64_t word = 0;
  for (int i = 0; i < n; ++i)
    word |= static_cast<std::uint64_t>(static_cast<Byte>(k[i])) << (8 * i);
  return word;
}

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

#if K8MAP_WIDE_LINES
#define K8MAP_WIDE_TARGET __attribute__((target("avx2,bmi,bmi2,popcnt")))

// The classes the wide reader needs, one bit each, looked up by the high and the low half of
// a byte: a byte is in a class when both halves' entries have its bit. Bytes from 0x80 up have
// no high-half entry, so they are in no class; neither is the line feed.
namespace wide {
enum : std::uint8_t {
  kSpace = 0x01,        // ' '
  kTabFormFeed = 0x02,  // '\t' '\f'
  kDigit = 0x04,        // 0-9
  kLetterAtoO = 0x08,   // A-O a-o
  kLetterPtoZ = 0x10,   // P-Z p-z
  kUnderscore = 0x20,   // _
  kDashStar = 0x40,     // - *
  kBrackets = 0x80,     // [ ]
  kBlankBits = kSpace | kTabFormFeed,
  kNameBits = kDigit | kLetterAtoO | kLetterPtoZ | kUnderscore,
};
constexpr std::uint8_t kAlphaBoth = kDigit | kLetterAtoO | kLetterPtoZ;
// Entries by low half 0-F.
constexpr std::uint8_t kLowHalf[16] = {kSpace | kDigit | kLetterPtoZ,
                                       kAlphaBoth,
                                       kAlphaBoth,
                                       kAlphaBoth,
                                       kAlphaBoth,
                                       kAlphaBoth,
                                       kAlphaBoth,
                                       kAlphaBoth,
                                       kAlphaBoth,
                                       kAlphaBoth | kTabFormFeed,
                                       kLetterAtoO | kLetterPtoZ | kDashStar,
                                       kLetterAtoO | kBrackets,
                                       kLetterAtoO | kTabFormFeed,
                                       kLetterAtoO | kDashStar | kBrackets,
                                       kLetterAtoO,
                                       kLetterAtoO | kUnderscore};
// Entries by high half 0-7; 8-F are empty.
constexpr std::uint8_t kHighHalf[16] = {kTabFormFeed,
                                        0,
                                        kSpace | kDashStar,
                                        kDigit,
                                        kLetterAtoO,
                                        kLetterPtoZ | kUnderscore | kBrackets,
                                        kLetterAtoO,
                                        kLetterPtoZ,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0};

// Bit masks over the 64 bytes from a line start: blanks, name characters, bytes of any class
// above (blanks and trailing-word characters), and line feeds.
struct Masks {
  std::uint64_t blank, name, any, line_feed;
};

K8MAP_WIDE_TARGET inline __m256i Table(const std::uint8_t (&half)[16]) {
  __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(half));
  return _mm256_broadcastsi128_si256(t);
}

// One bit per byte of v that is zero.
K8MAP_WIDE_TARGET inline std::uint64_t ZeroBytes(__m256i v) {
  return static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_setzero_si256())));
}

K8MAP_WIDE_TARGET inline std::uint64_t NotIn(__m256i classes, std::uint8_t bits) {
  return ZeroBytes(_mm256_and_si256(classes, _mm256_set1_epi8(static_cast<char>(bits))));
}

K8MAP_WIDE_TARGET inline Masks Classify(const Byte* p) {
  const __m256i low_table = Table(kLowHalf), high_table = Table(kHighHalf);
  const __m256i nibble = _mm256_set1_epi8(0x0F), line_feed = _mm256_set1_epi8('\n');
  Masks m{};
  for (int half = 0; half < 2; ++half) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * half));
    __m256i low = _mm256_shuffle_epi8(low_table, _mm256_and_si256(v, nibble));
    __m256i high =
        _mm256_shuffle_epi8(high_table, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
    __m256i classes = _mm256_and_si256(low, high);
    int shift = 32 * half;
    m.blank |= NotIn(classes, kBlankBits) << shift;
    m.name |= NotIn(classes, kNameBits) << shift;
    m.any |= ZeroBytes(classes) << shift;
    m.line_feed |= ZeroBytes(_mm256_xor_si256(v, line_feed)) << shift;
  }
  m.blank = ~m.blank;
  m.name = ~m.name;
  m.any = ~m.any;
  return m;
}
}  // namespace wide

// The commonest symbol line, in its plainest form, from the masks of its first 64 bytes, of
// which the line feed is byte length: a space first; exactly the fields name, kind, scope and
// value separated by blanks, each field nothing but its token (so the rules' token ends fall
// on the blanks); a value of one to eight digits, with an optional "(d)"; then blanks and
// trailing words. With kHead the name field is a NAME_PART instead (a name and "+"), as on the
// first line of a continued entry. The rules' decisions for such a line are those of
// ReadSymbolLineFromMasks; for any other line this returns false, and it is read by that or
// the general scan. Fills slot's name and number and *address.
template <bool kHead>
K8MAP_WIDE_TARGET inline bool ReadPlainSymbolLine(const Byte* p, const wide::Masks& m, int length,
                                                  TakenSymbol& slot, bool* address) {
  std::uint64_t inside = (std::uint64_t{1} << length) - 1;
  std::uint64_t word = ~m.blank & inside;  // bytes of the fields
  std::uint64_t starts = word & ~(word << 1), ends = word & ~(word >> 1);
  int name = std::countr_zero(starts), name_end = std::countr_zero(ends);
  starts &= starts - 1, ends &= ends - 1;
  int kind = std::countr_zero(starts), kind_end = std::countr_zero(ends);
  starts &= starts - 1, ends &= ends - 1;
  int scope = std::countr_zero(starts), scope_end = std::countr_zero(ends);
  starts &= starts - 1;
  if (starts == 0) return false;  // fewer than four fields
  int value = std::countr_zero(starts);

  int name_length = std::countr_zero(~(m.name >> name));
  bool ok = (p[0] == ' ') & (static_cast<unsigned>(p[name] - '0') > 9);
  if constexpr (kHead) {
    ok &= (name_length == name_end - name) & (p[name_end] == '+');
  } else {
    ok &= (name_length == name_end - name + 1) & (p[name_end + 1] != '\f');
  }

  std::uint64_t key;
  std::memcpy(&key, p + kind, sizeof key);
  std::uint64_t key5 = key & 0xFFFFFFFFFFull, key4 = key & 0xFFFFFFFFull, key3 = key & 0xFFFFFFull;
  int kind_length = kind_end - kind + 1;
  // Which keyword it is varies line by line: every comparison is made, none is branched on.
  auto is = [](std::uint64_t a, std::uint64_t b) { return static_cast<int>(a == b); };
  int addr = is(key5, KeyBytes("Addr.", 5)), loc = is(key4, KeyBytes("loc.", 4));
  int five = (addr | is(key5, KeyBytes("Func.", 5))) & is(kind_length, 5);
  int four =
      (loc | is(key4, KeyBytes("Var.", 4)) | is(key4, KeyBytes("arg.", 4))) & is(kind_length, 4);
  int three = (is(key3, KeyBytes("EQU", 3)) | is(key3, KeyBytes("bit", 3))) & is(kind_length, 3);
  ok &= (five | four | three) != 0;
  ok &= (scope == scope_end) & ((p[scope] == 'a') | (p[scope] == 'g') | (p[scope] == 's'));

  // The value: "0x" and digits that end its word; for name characters, (c | 0x20) below 'g'
  // is exactly a hexadecimal digit.
  int word_length = std::countr_zero(~(m.name >> value));
  int digits = word_length - 2;
  if (digits < 1 || digits > 8) return false;
  std::uint64_t digit_bytes;
  std::memcpy(&digit_bytes, p + value + 2, sizeof digit_bytes);
  std::uint64_t not_hex = ((digit_bytes | 0x2020202020202020ull) + 0x1919191919191919ull) &
                          0x8080808080808080ull & (~std::uint64_t{0} >> (64 - 8 * digits));
  ok &= (p[value] == '0') & (p[value + 1] == 'x') & (not_hex == 0);
  int end = value + word_length;
  ok &= p[end] != '-';
  end +=
      3 * ((p[end] == '(') & (static_cast<unsigned>(p[end + 1] - '0') <= 9) & (p[end + 2] == ')'));
  ok &= ((~m.any & inside) >> end) == 0;  // blanks and trailing words up to the line feed
  if (!ok) return false;

  slot.name = reinterpret_cast<const char*>(p + name);
  slot.name_length = name_length;
  slot.converted = true;
  slot.number = HexDigitsValue(reinterpret_cast<const char*>(p + value + 2), digits);
  *address = ((addr & is(kind_length, 5)) | (loc & is(kind_length, 4))) != 0;
  return true;
}

// Takes plain symbol lines, and lines that do not begin with a space (LINE_END alone), from p
// while each lies complete before end, storing the address symbols from symbols[*count] on
// until capacity; returns the first line not taken.
K8MAP_WIDE_TARGET const Byte* TakePlainLines(const Byte* p, const Byte* end, TakenSymbol* symbols,
                                             int capacity, int* count, int* line_number,
                                             int* taken) {
  int stored = *count, line = *line_number, lines = 0;
  while (stored < capacity) {
    wide::Masks m = wide::Classify(p);
    if (m.line_feed == 0) break;
    int length = std::countr_zero(m.line_feed);
    if (p + length >= end) break;
    if (p[0] == ' ') {
      TakenSymbol& slot = symbols[stored];
      bool address = false;
      if (!ReadPlainSymbolLine<false>(p, m, length, slot, &address)) break;
      slot.line = line;
      stored += address ? 1 : 0;
    }
    p += length + 1;
    ++line;
    ++lines;
  }
  *count = stored;
  *line_number = line;
  *taken += lines;
  return p;
}

// A line of a continued entry after its first: a middle piece (a NAME_PART or DIGIT_PART and
// the line end) or the last piece (a NAME or WORD and the line end), in its plainest form: a
// space first and one field that is all the token. The piece's text is [*text, *text + *size).
enum class PieceLine { kOther, kMiddle, kLast };

K8MAP_WIDE_TARGET inline PieceLine ReadPieceLine(const Byte* p, const wide::Masks& m, int length,
                                                 int* text, int* size) {
  std::uint64_t word = ~m.blank & ((std::uint64_t{1} << length) - 1);
  if (p[0] != ' ' || word == 0) return PieceLine::kOther;
  int first = std::countr_zero(word), last = 63 - std::countl_zero(word);
  if (std::popcount(word) != last - first + 1) return PieceLine::kOther;  // more than one field
  int run = std::countr_zero(~(m.name >> first));
  *text = first;
  *size = run;
  if (run == 0) return PieceLine::kOther;
  if (first + run == last && p[last] == '+') return PieceLine::kMiddle;
  if (first + run == last + 1) return PieceLine::kLast;
  return PieceLine::kOther;
}

// Adds a piece's text to a continued name, which is cut at 255 characters.
inline void AddPieceText(char* joined, int* joined_length, const Byte* text, int size) {
  int room = kTokenValueSize - 1 - *joined_length;
  if (size > room) size = room;
  std::memcpy(joined + *joined_length, text, static_cast<std::size_t>(size));
  *joined_length += size;
}

// A whole continued entry from p: its head line, middle pieces and last piece, every line plain
// and complete before end. Returns the number of lines, or 0 when the entry is not all of that.
// For an address head the record (joined name, value, the last line's number) is put in entry;
// otherwise entry->name is null.
K8MAP_WIDE_TARGET int ReadContinuedEntry(const Byte* p, const Byte* end, int line_number,
                                         char* joined, TakenSymbol* entry, const Byte** after) {
  wide::Masks m = wide::Classify(p);
  if (m.line_feed == 0) return 0;
  int length = std::countr_zero(m.line_feed);
  bool address = false;
  if (p + length >= end || !ReadPlainSymbolLine<true>(p, m, length, *entry, &address)) return 0;
  int joined_length = 0;
  AddPieceText(joined, &joined_length, reinterpret_cast<const Byte*>(entry->name),
               entry->name_length);
  for (int lines = 1;; ++lines) {
    p += length + 1;
    m = wide::Classify(p);
    if (m.line_feed == 0) return 0;
    length = std::countr_zero(m.line_feed);
    int text = 0, size = 0;
    PieceLine piece =
        p + length < end ? ReadPieceLine(p, m, length, &text, &size) : PieceLine::kOther;
    if (piece == PieceLine::kOther) return 0;
    AddPieceText(joined, &joined_length, p + text, size);
    if (piece == PieceLine::kLast) {
      joined[joined_length] = '\0';
      entry->name = address ? joined : nullptr;
      entry->name_length = joined_length;
      entry->line = line_number + lines;
      *after = p + length + 1;
      return lines + 1;
    }
  }
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

// Leaves the scanner where NextToken leaves it after the last line feed of taken lines, with
// p the start of the next line.
void LeaveAfterLines(Scanner& scanner, const Byte* p, int line_number) {
  scanner.token_text[0] = '\n';
  scanner.token_text[1] = '\0';
  scanner.token_length = 1;
  scanner.token_start = static_cast<int>(p - reinterpret_cast<const Byte*>(scanner.buffer.storage));
  scanner.line_counter = line_number;
  scanner.buffer.at_line_start = true;
  scanner.condition = LINE_START;
}

}  // namespace

bool WideLinesAvailable() {
#if K8MAP_WIDE_LINES
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
         __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
#else
  return false;
#endif
}

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
#if K8MAP_WIDE_LINES
    if (scanner.wide_lines) {
      p = TakePlainLines(p, end, symbols, capacity, symbol_count, &line_number, &taken);
      if (*symbol_count == capacity) break;
    }
#endif
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
  if (taken > 0) LeaveAfterLines(scanner, p, line_number);
  return taken;
}

int ScanContinuedEntry(Scanner& scanner, char* joined, TakenSymbol* entry) {
#if K8MAP_WIDE_LINES
  if (!scanner.wide_lines || scanner.condition != LINE_START || !scanner.buffer.at_line_start) {
    return 0;
  }
  const Byte* base = reinterpret_cast<const Byte*>(scanner.buffer.storage);
  const Byte* after = nullptr;
  int lines = ReadContinuedEntry(base + scanner.token_start, base + scanner.buffer.count,
                                 scanner.line_counter, joined, entry, &after);
  if (lines > 0) LeaveAfterLines(scanner, after, scanner.line_counter + lines);
  return lines;
#else
  (void)scanner, (void)joined, (void)entry;
  return 0;
#endif
}

}  // namespace k8map
