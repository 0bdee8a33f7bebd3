// SPDX-License-Identifier: MIT
// The wide line reader: byte classes of the 64 bytes from a line start by two table lookups
// per 32 bytes (AVX2), the fields from bit masks; the plainest symbol lines and whole
// continued entries, with the decisions the rules make for them.
#include <type_traits>

#include "common/bits.h"
#include "common/short_copy.h"
#include "common/x86_features.h"
#include "scanner/whole_lines.h"

namespace k8map::lines {

#if K8MAP_X86
namespace {

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
// Entries by low half 0-F, and by high half 0-7 (8-F are empty).
// clang-format off
constexpr std::uint8_t kLowHalf[16] = {
    kSpace | kDigit | kLetterPtoZ, kAlphaBoth, kAlphaBoth, kAlphaBoth, kAlphaBoth, kAlphaBoth,
    kAlphaBoth, kAlphaBoth, kAlphaBoth, kAlphaBoth | kTabFormFeed,
    kLetterAtoO | kLetterPtoZ | kDashStar, kLetterAtoO | kBrackets, kLetterAtoO | kTabFormFeed,
    kLetterAtoO | kDashStar | kBrackets, kLetterAtoO, kLetterAtoO | kUnderscore};
constexpr std::uint8_t kHighHalf[16] = {
    kTabFormFeed, 0, kSpace | kDashStar, kDigit, kLetterAtoO,
    kLetterPtoZ | kUnderscore | kBrackets, kLetterAtoO, kLetterPtoZ};
// clang-format on

// Bit masks over the 32 bytes from a point, bit i for byte i: blanks, name characters, bytes
// of any class above (blanks and trailing-word characters), and line feeds.
struct Window {
  std::uint32_t blank, name, any, line_feed;
};

// The same over the 64 bytes from a line start.
struct Masks {
  std::uint64_t blank, name, any, line_feed;
};

K8MAP_AVX2_TARGET inline __m256i Table(const std::uint8_t (&half)[16]) {
  __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(half));
  return _mm256_broadcastsi128_si256(t);
}

// One bit per byte of v that is zero.
K8MAP_AVX2_TARGET inline std::uint32_t ZeroBytes(__m256i v) {
  return static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_setzero_si256())));
}

K8MAP_AVX2_TARGET inline std::uint32_t NotIn(__m256i classes, std::uint8_t bits) {
  return ZeroBytes(_mm256_and_si256(classes, _mm256_set1_epi8(static_cast<char>(bits))));
}

K8MAP_AVX2_TARGET inline Window ClassifyWindow(const Byte* q) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
  __m256i low = _mm256_shuffle_epi8(Table(kLowHalf), _mm256_and_si256(v, nibble));
  __m256i high =
      _mm256_shuffle_epi8(Table(kHighHalf), _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
  __m256i classes = _mm256_and_si256(low, high);
  return {~NotIn(classes, kBlankBits), ~NotIn(classes, kNameBits), ~ZeroBytes(classes),
          ZeroBytes(_mm256_xor_si256(v, _mm256_set1_epi8('\n')))};
}

// The line feeds among the 32 bytes from q.
K8MAP_AVX2_TARGET inline std::uint32_t LineFeeds(const Byte* q) {
  __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
  return ZeroBytes(_mm256_xor_si256(v, _mm256_set1_epi8('\n')));
}

// The masks of 64 bytes from those of their two halves.
inline Masks Join(const Window& low, const Window& high) {
  auto join = [](std::uint32_t l, std::uint32_t h) { return std::uint64_t{h} << 32 | l; };
  return {join(low.blank, high.blank), join(low.name, high.name), join(low.any, high.any),
          join(low.line_feed, high.line_feed)};
}

K8MAP_AVX2_TARGET inline Masks Classify(const Byte* p) {
  return Join(ClassifyWindow(p), ClassifyWindow(p + 32));
}
}  // namespace wide

// The digits of a value: one to eight name characters at text, of which (c | 0x20) below 'g'
// is exactly a hexadecimal digit. Worked out in a vector register: each byte to its digit
// value, moved so that the last digit is the last byte, then joined in pairs and quads. This
// reader keeps this arithmetic of its own beside HexDigitsValue, which every other path uses:
// on 32-bit x86 that one's dozen 64-bit operations in general registers made the DLL's parse
// 12% slower.
struct HexDigits {
  std::uint32_t value;
  bool all_digits;
};

// Shuffle controls by digit count: byte i of the digits to byte 8 - digits + i, the rest zero.
struct AlignTable {
  std::uint8_t control[9][16];
  constexpr AlignTable() : control() {
    for (int digits = 0; digits <= 8; ++digits) {
      for (int k = 0; k < 16; ++k) {
        int from = k - (8 - digits);
        control[digits][k] = k < 8 && from >= 0 ? static_cast<std::uint8_t>(from) : 0x80;
      }
    }
  }
};
constexpr AlignTable kAlignDigits;

K8MAP_AVX2_TARGET K8MAP_ALWAYS_INLINE HexDigits ReadHexDigits(const Byte* text, int digits) {
  __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(text));
  auto beyond = static_cast<unsigned>(
      _mm_movemask_epi8(_mm_add_epi8(_mm_or_si128(v, _mm_set1_epi8(0x20)), _mm_set1_epi8(0x19))));
  bool all_digits = (beyond & ((1u << digits) - 1)) == 0;
  __m128i nine = _mm_and_si128(_mm_srli_epi16(v, 6), _mm_set1_epi8(1));  // 1 for letters
  __m128i nibbles = _mm_add_epi8(_mm_add_epi8(_mm_and_si128(v, _mm_set1_epi8(0x0F)), nine),
                                 _mm_slli_epi16(nine, 3));
  __m128i aligned = _mm_shuffle_epi8(
      nibbles, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kAlignDigits.control[digits])));
  __m128i pairs = _mm_maddubs_epi16(aligned, _mm_set1_epi16(0x0110));  // high * 16 + low
  auto quads = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(pairs, pairs)));
  return {__builtin_bswap32(quads), all_digits};
}

// Where the first four fields of a line lie; a field is a run of bytes before the line feed
// that are not blanks. Ends are the fields' last bytes.
struct FieldPositions {
  int name, name_end, kind, kind_end, scope, scope_end, value;
};

// A line's masks over its first 64 bytes in 64-bit words: all field starts and ends from one
// shift each, taken lowest first.
class LineMasks64 {
 public:
  K8MAP_AVX2_TARGET explicit LineMasks64(const Byte* p) : m_(wide::Classify(p)) {
    length_ = m_.line_feed != 0 ? CountTrailingZeros(m_.line_feed) : -1;
    inside_ = length_ >= 0 ? (std::uint64_t{1} << length_) - 1 : 0;
  }

  // The position of the line feed; -1 when it is not among the 64 bytes.
  int length() const { return length_; }

  // False for fewer than four fields.
  K8MAP_ALWAYS_INLINE bool FindFields(FieldPositions* f) const {
    std::uint64_t word = ~m_.blank & inside_;
    std::uint64_t starts = word & ~(word << 1), ends = word & ~(word >> 1);
    f->name = CountTrailingZeros(starts), f->name_end = CountTrailingZeros(ends);
    starts &= starts - 1, ends &= ends - 1;
    f->kind = CountTrailingZeros(starts), f->kind_end = CountTrailingZeros(ends);
    starts &= starts - 1, ends &= ends - 1;
    f->scope = CountTrailingZeros(starts), f->scope_end = CountTrailingZeros(ends);
    starts &= starts - 1;
    f->value = CountTrailingZeros(starts);
    return starts != 0;
  }
  // The number of name characters from the name's start, and from the value's.
  K8MAP_ALWAYS_INLINE int NameRun(const FieldPositions& f) const { return RunFrom(f.name); }
  K8MAP_ALWAYS_INLINE int ValueRun(const FieldPositions& f) const { return RunFrom(f.value); }
  // Whether every byte from `end` to the line feed is of some class (a blank or a trailing
  // word's character).
  K8MAP_ALWAYS_INLINE bool OnlyTrailingFrom(int end) const {
    return ((~m_.any & inside_) >> end) == 0;
  }

 private:
  K8MAP_ALWAYS_INLINE int RunFrom(int from) const { return CountTrailingZeros(~(m_.name >> from)); }

  wide::Masks m_;
  int length_;
  std::uint64_t inside_;
};

// The same in 32-bit words, for 32-bit x86, where 64-bit masks take register pairs and eight
// registers are too few for them: two windows of 32 bytes, one at the line start for the name,
// one ending at the line feed for the kind and all after it (classified as soon as the line
// feed is known, while the first is searched). A line whose kind is not in both windows is
// left to the other readers (false), as is any line that is not plain.
class LineWindows {
 public:
  K8MAP_AVX2_TARGET explicit LineWindows(const Byte* p) : start_(wide::ClassifyWindow(p)) {
    std::uint32_t high = start_.line_feed != 0 ? 0 : wide::LineFeeds(p + 32);
    length_ = start_.line_feed != 0 ? std::countr_zero(start_.line_feed)
              : high != 0           ? 32 + std::countr_zero(high)
                                    : -1;
    base_ = length_ > 31 ? length_ - 31 : 0;
    end_ = length_ >= 0 ? wide::ClassifyWindow(p + base_) : wide::Window{};
  }

  int length() const { return length_; }

  // As LineMasks64 does, from the fields' start and end bits, taken lowest first: the name and
  // the kind's start in the first window, the kind's end and all after it in the second, whose
  // bits below the kind are cleared. (A run that reaches the first window's end has an end bit
  // there; then no kind follows in that window and the line is left.)
  K8MAP_ALWAYS_INLINE bool FindFields(FieldPositions* f) const {
    std::uint32_t word = ~start_.blank & Inside(length_);
    std::uint32_t starts = word & ~(word << 1);
    f->name = std::countr_zero(starts);
    f->name_end = std::countr_zero(word & ~(word >> 1));
    f->kind = std::countr_zero(starts & (starts - 1));
    if (f->kind >= 32 || f->kind < base_) return false;  // not in both windows (or no kind)
    std::uint32_t rest = ~end_.blank & Inside(length_ - base_) & (~0u << (f->kind - base_));
    std::uint32_t rest_starts = rest & ~(rest << 1), rest_ends = rest & ~(rest >> 1);
    rest_starts &= rest_starts - 1;  // past the kind
    f->kind_end = base_ + std::countr_zero(rest_ends);
    f->scope = base_ + std::countr_zero(rest_starts);
    f->scope_end = base_ + std::countr_zero(rest_ends & (rest_ends - 1));
    rest_starts &= rest_starts - 1;
    f->value = base_ + std::countr_zero(rest_starts);
    return rest_starts != 0;  // fewer than four fields otherwise
  }
  // The name's run in the first window, where it ends (the kind follows it there); the
  // value's in the second, which may end at the window's end: then 64, more than any caller
  // takes.
  K8MAP_ALWAYS_INLINE int NameRun(const FieldPositions& f) const {
    return std::countr_zero(~start_.name >> f.name);
  }
  K8MAP_ALWAYS_INLINE int ValueRun(const FieldPositions& f) const {
    int at = f.value - base_;
    int run = std::countr_zero(~end_.name >> at);
    return at + run >= 32 ? 64 : run;
  }
  K8MAP_ALWAYS_INLINE bool OnlyTrailingFrom(int end) const {
    return ((~end_.any & Inside(length_ - base_)) >> (end - base_)) == 0;
  }

 private:
  // Bits below `length` (all for 32 and more).
  K8MAP_ALWAYS_INLINE static std::uint32_t Inside(int length) {
    return length >= 32 ? ~0u : (1u << length) - 1;
  }
  wide::Window start_, end_;
  int length_, base_;
};

// The masks of a plain line: two 32-bit windows on 32-bit x86 (and where tests ask for narrow
// windows), 64-bit masks elsewhere.
template <bool kNarrow>
using PlainLineMasks = std::conditional_t<kNarrow || sizeof(void*) == 4, LineWindows, LineMasks64>;

// The commonest symbol line, in its plainest form, from the masks of its first 64 bytes (the
// line feed among them): a space first; exactly the fields name, kind, scope and value
// separated by blanks, each field nothing but its token (so the rules' token ends fall on the
// blanks); a value of one to eight digits, with an optional "(d)"; then blanks and trailing
// words. With kHead the name field is a NAME_PART instead (a name and "+"), as on the first
// line of a continued entry. The rules' decisions for such a line are those of
// ReadSymbolLineFromMasks; for any other line this returns false, and it is read by that or
// the general scan. Fills slot's name and number and *address, and with kDetails its kind,
// scope and bit.
template <bool kHead, bool kDetails, class LineMasks>
K8MAP_AVX2_TARGET inline bool ReadPlainSymbolLine(const Byte* p, const LineMasks& masks,
                                                  TakenSymbol& slot, bool* address) {
  FieldPositions f;
  if (!masks.FindFields(&f)) return false;  // fewer than four fields

  // Each check leaves at once: in a map nearly every line passes them all, so the branches
  // are foreseen, and fewer values stay alive to the end (32-bit x86 has few registers).
  int name_length = masks.NameRun(f);
  if (p[0] != ' ' || static_cast<unsigned>(p[f.name] - '0') <= 9) return false;
  if constexpr (kHead) {
    // A NAME_PART has a name before its "+"; a lone "+" is a word the rules pass over.
    if (name_length == 0 || name_length != f.name_end - f.name || p[f.name_end] != '+') {
      return false;
    }
  } else {
    if (name_length != f.name_end - f.name + 1 || p[f.name_end + 1] == '\f') return false;
  }

  SymbolKind kind = KindOfField(p + f.kind, f.kind_end - f.kind + 1);
  if (kind == kKindNone) return false;
  bool scope_letter = IsScopeLetter(p[f.scope]);
  if (f.scope != f.scope_end || !scope_letter) return false;

  // The value: "0x" and digits that end its word; for name characters, (c | 0x20) below 'g'
  // is exactly a hexadecimal digit.
  int word_length = masks.ValueRun(f);
  int digits = word_length - 2;
  if (digits < 1 || digits > 8) return false;
  HexDigits hex = ReadHexDigits(p + f.value + 2, digits);
  if (p[f.value] != '0' || p[f.value + 1] != 'x' || !hex.all_digits) return false;
  int end = f.value + word_length;
  if (p[end] == '-') return false;
  // A bit number "(d)" is rare: a branch keeps its bytes off the common path.
  int digits_end = end;
  if (p[end] == '(' && static_cast<unsigned>(p[end + 1] - '0') <= 9 && p[end + 2] == ')') end += 3;
  if (!masks.OnlyTrailingFrom(end)) return false;  // blanks and trailing words up to the line feed

  slot.name = reinterpret_cast<const char*>(p + f.name);
  slot.name_length = name_length;
  slot.converted = true;
  slot.number = hex.value;
  if constexpr (kDetails) {
    slot.kind = kind;
    slot.scope = static_cast<char>(p[f.scope]);
    slot.bit = static_cast<std::int8_t>(end == digits_end ? -1 : p[digits_end + 1] - '0');
  }
  *address = IsAddressKind(kind);
  return true;
}

// A line of a continued entry after its first: a middle piece (a NAME_PART or DIGIT_PART and
// the line end) or the last piece (a NAME or WORD and the line end), in its plainest form: a
// space first and one field that is all the token. The piece's text is [*text, *text + *size).
enum class PieceLine { kOther, kMiddle, kLast };

// From the masks of the bytes from p (32-bit masks over 32 bytes or 64-bit ones over 64), the
// line feed at length among them.
template <class Word>
K8MAP_ALWAYS_INLINE PieceLine ReadPieceLine(const Byte* p, Word blank, Word name, int length,
                                            int* text, int* size) {
  constexpr int kLastBit = static_cast<int>(sizeof(Word)) * 8 - 1;
  Word word = ~blank & ((Word{1} << length) - 1);
  if (p[0] != ' ' || word == 0) return PieceLine::kOther;
  int first = CountTrailingZeros(word), last = kLastBit - CountLeadingZeros(word);
  if (PopCount(word) != last - first + 1) return PieceLine::kOther;  // more than one field
  int run = CountTrailingZeros(static_cast<Word>(~(name >> first)));
  *text = first;
  *size = run;
  if (run == 0) return PieceLine::kOther;
  if (first + run == last && p[last] == '+') return PieceLine::kMiddle;
  if (first + run == last + 1) return PieceLine::kLast;
  return PieceLine::kOther;
}

// The piece line at p, complete before end, from its first 32 bytes when its line feed is
// among them (pieces are mostly short), else from its first 64; *length is its line feed's
// position.
K8MAP_AVX2_TARGET inline PieceLine ReadPieceLineAt(const Byte* p, const Byte* end, int* length,
                                                   int* text, int* size) {
  wide::Window low = wide::ClassifyWindow(p);
  if (low.line_feed != 0) {
    *length = std::countr_zero(low.line_feed);
    if (p + *length >= end) return PieceLine::kOther;
    return ReadPieceLine(p, low.blank, low.name, *length, text, size);
  }
  wide::Masks m = wide::Join(low, wide::ClassifyWindow(p + 32));
  if (m.line_feed == 0) return PieceLine::kOther;
  *length = CountTrailingZeros(m.line_feed);
  if (p + *length >= end) return PieceLine::kOther;
  return ReadPieceLine(p, m.blank, m.name, *length, text, size);
}

// Adds a piece's text to a continued name, which is cut at 255 characters.
inline void AddPieceText(char* joined, int* joined_length, const Byte* text, int size) {
  int room = kTokenValueSize - 1 - *joined_length;
  if (size > room) size = room;
  if (size <= 0) return;  // the name is full
  ShortCopy(joined + *joined_length, reinterpret_cast<const char*>(text),
            static_cast<std::size_t>(size));
  *joined_length += size;
}

}  // namespace

template <bool kAllKinds, bool kNarrow>
K8MAP_AVX2_TARGET const Byte* TakePlainLines(const Byte* p, const Byte* end, TakenSymbol* symbols,
                                             int capacity, int* count, int* line_number,
                                             int* taken) {
  int stored = *count, line = *line_number, lines = 0;
  while (stored < capacity) {
    PlainLineMasks<kNarrow> masks(p);
    int length = masks.length();
    if (length < 0 || p + length >= end) break;
    if (p[0] == ' ') {
      TakenSymbol& slot = symbols[stored];
      bool address = false;
      if (!ReadPlainSymbolLine<false, kAllKinds>(p, masks, slot, &address)) break;
      slot.line = line;
      stored += (address || kAllKinds) ? 1 : 0;
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

namespace {

// The plain head line of a continued entry at p, complete before end: its name part and value
// in entry and whether its kind is an address one; the position of its line feed, or -1 when
// the line is not that.
K8MAP_AVX2_TARGET inline int ReadEntryHead(const Byte* p, const Byte* end, TakenSymbol* entry,
                                           bool* address) {
  LineMasks64 head(p);
  int length = head.length();
  if (length < 0 || p + length >= end ||
      !ReadPlainSymbolLine<true, true>(p, head, *entry, address)) {
    return -1;
  }
  return length;
}

}  // namespace

K8MAP_AVX2_TARGET int ReadContinuedEntry(const Byte* p, const Byte* end, int line_number,
                                         char* joined, TakenSymbol* entry, const Byte** after,
                                         bool all_kinds) {
  bool address = false;
  int length = ReadEntryHead(p, end, entry, &address);
  if (length < 0) return 0;
  int joined_length = 0;
  AddPieceText(joined, &joined_length, reinterpret_cast<const Byte*>(entry->name),
               entry->name_length);
  for (int lines = 1;; ++lines) {
    p += length + 1;
    int text = 0, size = 0;
    PieceLine piece = ReadPieceLineAt(p, end, &length, &text, &size);
    if (piece == PieceLine::kOther) return -1;
    AddPieceText(joined, &joined_length, p + text, size);
    if (piece == PieceLine::kLast) {
      joined[joined_length] = '\0';
      entry->name = (address || all_kinds) ? joined : nullptr;
      entry->name_length = joined_length;
      entry->line = line_number + lines;
      *after = p + length + 1;
      return lines + 1;
    }
  }
}
#else
// Never chosen where there is no AVX2.
template <bool kAllKinds, bool kNarrow>
const Byte* TakePlainLines(const Byte* p, const Byte*, TakenSymbol*, int, int*, int*, int*) {
  return p;
}

int ReadContinuedEntry(const Byte*, const Byte*, int, char*, TakenSymbol*, const Byte**, bool) {
  return 0;
}
#endif

// Every reading of plain lines: the address symbols or all; 64-bit masks or 32-bit windows.
#define K8MAP_TAKE_PLAIN_LINES(all, narrow)                                                     \
  template const Byte* TakePlainLines<all, narrow>(const Byte*, const Byte*, TakenSymbol*, int, \
                                                   int*, int*, int*)
K8MAP_TAKE_PLAIN_LINES(false, false);
K8MAP_TAKE_PLAIN_LINES(false, true);
K8MAP_TAKE_PLAIN_LINES(true, false);
K8MAP_TAKE_PLAIN_LINES(true, true);
#undef K8MAP_TAKE_PLAIN_LINES

}  // namespace k8map::lines
