// SPDX-License-Identifier: MIT
#include "scanner/byte_search.h"

#include <bit>
#include <cstdint>

#include "common/x86_features.h"

namespace k8map {
namespace {

// Each search comes in two forms: kCopy also copies the bytes it passes to out, whole steps
// at a time (so bytes at and after the one found may be copied too, never beyond length).
template <bool kCopy>
const char* FindEitherBytePortable(char* out, const char* p, std::size_t length, char a, char b) {
  for (const char* end = p + length; p < end; ++p) {
    if (*p == a || *p == b) return p;
    if constexpr (kCopy) *out++ = *p;
  }
  return nullptr;
}

#if K8MAP_X86
// Whole blocks of sixteen by compares and a mask; the rest a byte at a time (reads stay
// inside the range).
template <bool kCopy>
K8MAP_SSE2_TARGET const char* FindEitherByteSse2(char* out, const char* p, std::size_t length,
                                                 char a, char b) {
  const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b);
  const char* end = p + length;
  for (; end - p >= 16; p += 16, out += kCopy ? 16 : 0) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if constexpr (kCopy) _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
    auto hits = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb))));
    if (hits != 0) return p + std::countr_zero(hits);
  }
  return FindEitherBytePortable<kCopy>(out, p, static_cast<std::size_t>(end - p), a, b);
}

// Sixty-four bytes a step with AVX2, where long blocks without either byte go fastest; the
// rest by SSE2.
template <bool kCopy>
K8MAP_AVX2_TARGET const char* FindEitherByteAvx2(char* out, const char* p, std::size_t length,
                                                 char a, char b) {
  const __m256i va = _mm256_set1_epi8(a), vb = _mm256_set1_epi8(b);
  const char* end = p + length;
  for (; end - p >= 64; p += 64, out += kCopy ? 64 : 0) {
    __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    if constexpr (kCopy) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v0);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), v1);
    }
    __m256i hit0 = _mm256_or_si256(_mm256_cmpeq_epi8(v0, va), _mm256_cmpeq_epi8(v0, vb));
    __m256i hit1 = _mm256_or_si256(_mm256_cmpeq_epi8(v1, va), _mm256_cmpeq_epi8(v1, vb));
    if (!_mm256_testz_si256(_mm256_or_si256(hit0, hit1), _mm256_or_si256(hit0, hit1))) {
      auto low = static_cast<std::uint32_t>(_mm256_movemask_epi8(hit0));
      if (low != 0) return p + std::countr_zero(low);
      return p + 32 + std::countr_zero(static_cast<std::uint32_t>(_mm256_movemask_epi8(hit1)));
    }
  }
  return FindEitherByteSse2<kCopy>(out, p, static_cast<std::size_t>(end - p), a, b);
}
#endif

// The search of the width asked for (the parse chose it for this processor).
template <bool kCopy>
const char* FindEitherByte(SearchWidth width, char* out, const char* p, std::size_t length, char a,
                           char b) {
#if K8MAP_X86
  if (width == SearchWidth::kAvx2) return FindEitherByteAvx2<kCopy>(out, p, length, a, b);
  if (width == SearchWidth::kSse2) return FindEitherByteSse2<kCopy>(out, p, length, a, b);
#else
  (void)width;
#endif
  return FindEitherBytePortable<kCopy>(out, p, length, a, b);
}

}  // namespace

const char* FindByte(SearchWidth width, const char* p, std::size_t length, char a) {
  return FindEitherByte<false>(width, nullptr, p, length, a, a);
}

const char* CopyUntilEitherByte(SearchWidth width, char* out, const char* p, std::size_t length,
                                char a, char b) {
  return FindEitherByte<true>(width, out, p, length, a, b);
}

}  // namespace k8map
