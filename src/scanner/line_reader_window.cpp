// SPDX-License-Identifier: MIT
// The window line reader: the runs of a line's first 64 bytes as bit masks, sixteen bytes at a
// time with SSE2.
#include "common/bits.h"
#include "common/x86_features.h"
#include "scanner/whole_lines.h"

namespace k8map::lines {

#if K8MAP_X86
namespace {

// The runs of a line whose line feed lies within its first 64 bytes: blanks and name
// characters (most of a symbol line) from bit masks over those bytes computed at once, the
// rarer classes measured where they start. Every run ends at or before the line feed, inside
// the masks.
K8MAP_SSE2_TARGET inline std::uint64_t MaskBits(__m128i m) {
  return static_cast<unsigned>(_mm_movemask_epi8(m));
}

struct WindowRuns {
  const Byte* p;
  std::uint64_t blank = 0, name = 0, line_feed = 0;

  K8MAP_SSE2_TARGET explicit WindowRuns(const Byte* line) : p(line) {
    using runs_detail::Members;
    for (int chunk = 0; chunk < 4; ++chunk) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * chunk));
      int shift = 16 * chunk;
      blank |= MaskBits(Members<RunClass::kBlank>(v)) << shift;
      name |= MaskBits(Members<RunClass::kNameChar>(v)) << shift;
      line_feed |= MaskBits(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))) << shift;
    }
  }

  template <RunClass kClass>
  K8MAP_SSE2_TARGET int Run(int pos) const {
    if constexpr (kClass == RunClass::kBlank) {
      return CountTrailingZeros(~blank >> pos);  // a zero bit at the line feed ends every run
    } else if constexpr (kClass == RunClass::kNameChar) {
      return CountTrailingZeros(~name >> pos);
    } else {
      return RunLengthSse2<kClass>(p + pos);
    }
  }
};

// The same reading as ReadSymbolLineSerially, shaped for a short dependency chain from one field's
// position to the next: the kind and the value are measured by name-character runs from the
// masks, their other conditions are only checked, and the kind keyword is found in
// one table entry rather than by branching on its letters.
K8MAP_SSE2_TARGET SymbolLine ReadSymbolLineFromMasks(const Byte* p, const WindowRuns& w) {
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
  int letters = w.Run<RunClass::kNameChar>(q);
  if (p[q + letters] == '-') return line;
  int length = letters + static_cast<int>(p[q + letters] == '.');
  line.kind = KindOfField(p + q, length);
  if (line.kind == kKindNone) return line;
  line.address = IsAddressKind(line.kind);
  q += length;

  q += w.Run<RunClass::kBlank>(q);
  if (!IsScopeLetter(p[q]) || IsClass(p[q + 1], kSkipWordChar)) return line;
  line.scope = static_cast<char>(p[q]);
  ++q;
  q += w.Run<RunClass::kBlank>(q);

  // The value: "0x" and hexadecimal digits that end the skip word.
  if (p[q] != '0' || p[q + 1] != 'x') return line;
  int word = w.Run<RunClass::kNameChar>(q);
  if (word < 3 || p[q + word] == '-' || RunLengthSse2<RunClass::kHexDigit>(p + q + 2) != word - 2) {
    return line;
  }
  line.value = p + q;
  line.value_length = word;
  int e = q + word;
  line.line_feed = ValueSuffixAndTail(p + e, SearchWidth::kSse2);
  return line;
}
}  // namespace

// A symbol line read from p. Its line feed, when it reaches one, is found apart from the walk
// where the masks give it, so that the next line's position does not wait for this line's
// fields.
K8MAP_SSE2_TARGET SymbolLine ReadSymbolLineInWindow(const Byte* p, const Byte* end) {
  WindowRuns window(p);
  if (window.line_feed != 0) {
    const Byte* line_feed = p + CountTrailingZeros(window.line_feed);
    if (line_feed >= end) return {};
    SymbolLine line = ReadSymbolLineFromMasks(p, window);
    if (line.line_feed == nullptr) return line;
    line.line_feed = line_feed;  // the walk stops at the first line feed, this one
    return line;
  }
  return ReadSymbolLineSerially(p, SearchWidth::kSse2);
}
#else
SymbolLine ReadSymbolLineInWindow(const Byte* p, const Byte*) {
  return ReadSymbolLineSerially(p, SearchWidth::kByte);
}
#endif

}  // namespace k8map::lines
