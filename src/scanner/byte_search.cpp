#include "scanner/byte_search.h"

#include <bit>
#include <cstdint>

#include "common/x86_features.h"

namespace k8map {
namespace {

const char* FindEitherBytePortable(const char* p, std::size_t length, char a, char b) {
  for (const char* end = p + length; p < end; ++p) {
    if (*p == a || *p == b) return p;
  }
  return nullptr;
}

#if K8MAP_X86
// Whole blocks of sixteen by compares and a mask; the rest a byte at a time (reads stay
// inside the range).
K8MAP_SSE2_TARGET const char* FindEitherByteSse2(const char* p, std::size_t length, char a,
                                                 char b) {
  const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b);
  const char* end = p + length;
  for (; end - p >= 16; p += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    auto hits = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb))));
    if (hits != 0) return p + std::countr_zero(hits);
  }
  return FindEitherBytePortable(p, static_cast<std::size_t>(end - p), a, b);
}

// Sixty-four bytes a step with AVX2, where long blocks without either byte go fastest; the
// rest by SSE2.
K8MAP_AVX2_TARGET const char* FindEitherByteAvx2(const char* p, std::size_t length, char a,
                                                 char b) {
  const __m256i va = _mm256_set1_epi8(a), vb = _mm256_set1_epi8(b);
  const char* end = p + length;
  for (; end - p >= 64; p += 64) {
    __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    __m256i hit0 = _mm256_or_si256(_mm256_cmpeq_epi8(v0, va), _mm256_cmpeq_epi8(v0, vb));
    __m256i hit1 = _mm256_or_si256(_mm256_cmpeq_epi8(v1, va), _mm256_cmpeq_epi8(v1, vb));
    if (!_mm256_testz_si256(_mm256_or_si256(hit0, hit1), _mm256_or_si256(hit0, hit1))) {
      auto low = static_cast<std::uint32_t>(_mm256_movemask_epi8(hit0));
      if (low != 0) return p + std::countr_zero(low);
      return p + 32 + std::countr_zero(static_cast<std::uint32_t>(_mm256_movemask_epi8(hit1)));
    }
  }
  return FindEitherByteSse2(p, static_cast<std::size_t>(end - p), a, b);
}
#endif

using FindEitherFn = const char* (*)(const char*, std::size_t, char, char);

// The one choice of implementation, made when the library loads.
const FindEitherFn kFindEither = [] {
#if K8MAP_X86
  if (CpuHasAvx2()) return &FindEitherByteAvx2;
  if (CpuHasSse2()) return &FindEitherByteSse2;
#endif
  return &FindEitherBytePortable;
}();

}  // namespace

const char* FindByte(const char* p, std::size_t length, char a) {
  return kFindEither(p, length, a, a);
}

const char* FindEitherByte(const char* p, std::size_t length, char a, char b) {
  return kFindEither(p, length, a, b);
}

}  // namespace k8map
