// The wide line reader: byte classes of the 64 bytes from a line start by two table lookups
// per 32 bytes (AVX2), the fields from bit masks; the plainest symbol lines and whole
// continued entries, with the decisions the rules make for them.
#include "common/bits.h"
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

K8MAP_AVX2_TARGET inline __m256i Table(const std::uint8_t (&half)[16]) {
  __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(half));
  return _mm256_broadcastsi128_si256(t);
}

// One bit per byte of v that is zero.
K8MAP_AVX2_TARGET inline std::uint64_t ZeroBytes(__m256i v) {
  return static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_setzero_si256())));
}

K8MAP_AVX2_TARGET inline std::uint64_t NotIn(__m256i classes, std::uint8_t bits) {
  return ZeroBytes(_mm256_and_si256(classes, _mm256_set1_epi8(static_cast<char>(bits))));
}

K8MAP_AVX2_TARGET inline Masks Classify(const Byte* p) {
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

// The digits of a value: one to eight name characters at text, of which (c | 0x20) below 'g'
// is exactly a hexadecimal digit. Worked out in a vector register: each byte to its digit
// value, moved so that the last digit is the last byte, then joined in pairs and quads. (On
// 32-bit x86 the same in general registers takes a dozen 64-bit operations.)
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

K8MAP_AVX2_TARGET inline HexDigits ReadHexDigits(const Byte* text, int digits) {
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

// The commonest symbol line, in its plainest form, from the masks of its first 64 bytes, of
// which the line feed is byte length: a space first; exactly the fields name, kind, scope and
// value separated by blanks, each field nothing but its token (so the rules' token ends fall
// on the blanks); a value of one to eight digits, with an optional "(d)"; then blanks and
// trailing words. With kHead the name field is a NAME_PART instead (a name and "+"), as on the
// first line of a continued entry. The rules' decisions for such a line are those of
// ReadSymbolLineFromMasks; for any other line this returns false, and it is read by that or
// the general scan. Fills slot's name and number and *address.
template <bool kHead>
K8MAP_AVX2_TARGET inline bool ReadPlainSymbolLine(const Byte* p, const wide::Masks& m, int length,
                                                  TakenSymbol& slot, bool* address) {
  std::uint64_t inside = (std::uint64_t{1} << length) - 1;
  std::uint64_t word = ~m.blank & inside;  // bytes of the fields
  std::uint64_t starts = word & ~(word << 1), ends = word & ~(word >> 1);
  int name = CountTrailingZeros(starts), name_end = CountTrailingZeros(ends);
  starts &= starts - 1, ends &= ends - 1;
  int kind = CountTrailingZeros(starts), kind_end = CountTrailingZeros(ends);
  starts &= starts - 1, ends &= ends - 1;
  int scope = CountTrailingZeros(starts), scope_end = CountTrailingZeros(ends);
  starts &= starts - 1;
  if (starts == 0) return false;  // fewer than four fields
  int value = CountTrailingZeros(starts);

  int name_length = CountTrailingZeros(~(m.name >> name));
  bool ok = (p[0] == ' ') & (static_cast<unsigned>(p[name] - '0') > 9);
  if constexpr (kHead) {
    ok &= (name_length == name_end - name) & (p[name_end] == '+');
  } else {
    ok &= (name_length == name_end - name + 1) & (p[name_end + 1] != '\f');
  }

  KindKeys keys = ReadKindKeys(p + kind);
  int kind_length = kind_end - kind + 1;
  int is5 = static_cast<int>(kind_length == 5), is4 = static_cast<int>(kind_length == 4);
  int is3 = static_cast<int>(kind_length == 3);
  ok &= ((keys.five & is5) | (keys.four & is4) | (keys.three & is3)) != 0;
  ok &= (scope == scope_end) & ((p[scope] == 'a') | (p[scope] == 'g') | (p[scope] == 's'));

  // The value: "0x" and digits that end its word; for name characters, (c | 0x20) below 'g'
  // is exactly a hexadecimal digit.
  int word_length = CountTrailingZeros(~(m.name >> value));
  int digits = word_length - 2;
  if (digits < 1 || digits > 8) return false;
  HexDigits hex = ReadHexDigits(p + value + 2, digits);
  ok &= (p[value] == '0') & (p[value + 1] == 'x') & hex.all_digits;
  int end = value + word_length;
  ok &= p[end] != '-';
  end +=
      3 * ((p[end] == '(') & (static_cast<unsigned>(p[end + 1] - '0') <= 9) & (p[end + 2] == ')'));
  ok &= ((~m.any & inside) >> end) == 0;  // blanks and trailing words up to the line feed
  if (!ok) return false;

  slot.name = reinterpret_cast<const char*>(p + name);
  slot.name_length = name_length;
  slot.converted = true;
  slot.number = hex.value;
  *address = ((keys.addr & is5) | (keys.loc & is4)) != 0;
  return true;
}

// A line of a continued entry after its first: a middle piece (a NAME_PART or DIGIT_PART and
// the line end) or the last piece (a NAME or WORD and the line end), in its plainest form: a
// space first and one field that is all the token. The piece's text is [*text, *text + *size).
enum class PieceLine { kOther, kMiddle, kLast };

K8MAP_AVX2_TARGET inline PieceLine ReadPieceLine(const Byte* p, const wide::Masks& m, int length,
                                                 int* text, int* size) {
  std::uint64_t word = ~m.blank & ((std::uint64_t{1} << length) - 1);
  if (p[0] != ' ' || word == 0) return PieceLine::kOther;
  int first = CountTrailingZeros(word), last = 63 - CountLeadingZeros(word);
  if (PopCount(word) != last - first + 1) return PieceLine::kOther;  // more than one field
  int run = CountTrailingZeros(~(m.name >> first));
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

}  // namespace

K8MAP_AVX2_TARGET const Byte* TakePlainLines(const Byte* p, const Byte* end, TakenSymbol* symbols,
                                             int capacity, int* count, int* line_number,
                                             int* taken) {
  int stored = *count, line = *line_number, lines = 0;
  while (stored < capacity) {
    wide::Masks m = wide::Classify(p);
    if (m.line_feed == 0) break;
    int length = CountTrailingZeros(m.line_feed);
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

K8MAP_AVX2_TARGET int ReadContinuedEntry(const Byte* p, const Byte* end, int line_number,
                                         char* joined, TakenSymbol* entry, const Byte** after) {
  wide::Masks m = wide::Classify(p);
  if (m.line_feed == 0) return 0;
  int length = CountTrailingZeros(m.line_feed);
  bool address = false;
  if (p + length >= end || !ReadPlainSymbolLine<true>(p, m, length, *entry, &address)) return 0;
  int joined_length = 0;
  AddPieceText(joined, &joined_length, reinterpret_cast<const Byte*>(entry->name),
               entry->name_length);
  for (int lines = 1;; ++lines) {
    p += length + 1;
    m = wide::Classify(p);
    if (m.line_feed == 0) return 0;
    length = CountTrailingZeros(m.line_feed);
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
#else
// Never chosen where there is no AVX2.
const Byte* TakePlainLines(const Byte* p, const Byte*, TakenSymbol*, int, int*, int*, int*) {
  return p;
}

int ReadContinuedEntry(const Byte*, const Byte*, int, char*, TakenSymbol*, const Byte**) {
  return 0;
}
#endif

}  // namespace k8map::lines
