// SPDX-License-Identifier: MIT
// Lengths of runs of one byte class, sixteen bytes at a time where the parse's reader has SSE2. A
// run's end is then found from a bit mask rather than a branch per byte. The scans may read up to
// 15 bytes past the end of the run; the scanner's storage has slack for that, and its end mark, in
// no class, ends every run.
#pragma once

#include <bit>
#include <cstdint>

#include "common/bits.h"
#include "common/x86_features.h"
#include "scanner/byte_search.h"
#include "scanner/char_class.h"

namespace k8map {

enum class RunClass { kBlank, kNameChar, kSkipWordChar, kTrailWordChar, kHexDigit };

#if K8MAP_X86
namespace runs_detail {

K8MAP_SSE2_TARGET inline __m128i InRange(__m128i v, char low, char high) {
  __m128i offset = _mm_sub_epi8(v, _mm_set1_epi8(low));
  return _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(static_cast<char>(high - low))), offset);
}

K8MAP_SSE2_TARGET inline __m128i Equal(__m128i v, char c) {
  return _mm_cmpeq_epi8(v, _mm_set1_epi8(c));
}

template <RunClass kClass>
K8MAP_SSE2_TARGET inline __m128i Members(__m128i v) {
  if constexpr (kClass == RunClass::kBlank) {
    return _mm_or_si128(Equal(v, ' '), _mm_or_si128(Equal(v, '\t'), Equal(v, '\f')));
  } else if constexpr (kClass == RunClass::kHexDigit) {
    __m128i folded = _mm_or_si128(v, _mm_set1_epi8(0x20));
    return _mm_or_si128(InRange(v, '0', '9'), InRange(folded, 'a', 'f'));
  } else {
    __m128i folded = _mm_or_si128(v, _mm_set1_epi8(0x20));
    __m128i name =
        _mm_or_si128(_mm_or_si128(InRange(folded, 'a', 'z'), InRange(v, '0', '9')), Equal(v, '_'));
    if constexpr (kClass == RunClass::kNameChar) return name;
    __m128i skip = _mm_or_si128(name, Equal(v, '-'));
    if constexpr (kClass == RunClass::kSkipWordChar) return skip;
    return _mm_or_si128(_mm_or_si128(skip, Equal(v, '*')),
                        _mm_or_si128(Equal(v, '['), Equal(v, ']')));
  }
}

}  // namespace runs_detail
#endif

constexpr std::uint8_t ClassMask(RunClass c) {
  switch (c) {
    case RunClass::kBlank:
      return kBlank;
    case RunClass::kNameChar:
      return kNameChar;
    case RunClass::kSkipWordChar:
      return kSkipWordChar;
    case RunClass::kTrailWordChar:
      return kTrailWordChar;
    case RunClass::kHexDigit:
      return kHexDigit;
  }
  return 0;
}

#if K8MAP_X86
// Number of bytes of class kClass from p on, sixteen at a time (where SSE2 runs).
template <RunClass kClass>
K8MAP_SSE2_TARGET inline int RunLengthSse2(const unsigned char* p) {
  for (int length = 0;; length += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + length));
    unsigned outside =
        ~static_cast<unsigned>(_mm_movemask_epi8(runs_detail::Members<kClass>(v))) & 0xFFFFu;
    if (outside != 0) return length + std::countr_zero(outside);
  }
}
#endif

// Number of bytes of class kClass from p on, as wide as the parse's search: sixteen bytes a
// step where the parse's line reader has a vector unit, else a byte at a time.
template <RunClass kClass>
inline int RunLength(const unsigned char* p, SearchWidth width) {
#if K8MAP_X86
  if (width != SearchWidth::kByte) return RunLengthSse2<kClass>(p);
#endif
  const unsigned char* q = p;
  while (IsClass(*q, ClassMask(kClass))) ++q;
  return static_cast<int>(q - p);
}

}  // namespace k8map
