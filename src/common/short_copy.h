// SPDX-License-Identifier: MIT
// Copies of short byte runs (names, token texts: mostly under 64 bytes). A plain memcpy of a
// variable length compiles to a string instruction whose start-up costs more than such a copy;
// these use a few fixed-width moves instead, never touching a byte outside the two ranges.
#pragma once

#include <cstddef>
#include <cstring>

namespace k8map {

// Copies n bytes, kWidth <= n <= 2 * kWidth, as a first and a last block of kWidth bytes.
template <std::size_t kWidth>
inline void CopyTwoBlocks(char* dst, const char* src, std::size_t n) {
  char head[kWidth], tail[kWidth];
  std::memcpy(head, src, kWidth);
  std::memcpy(tail, src + n - kWidth, kWidth);
  std::memcpy(dst, head, kWidth);
  std::memcpy(dst + n - kWidth, tail, kWidth);
}

inline void ShortCopy(char* dst, const char* src, std::size_t n) {
  if (n > 64) {
    std::memmove(dst, src, n);
  } else if (n >= 32) {  // a continued entry's joined name, often
    CopyTwoBlocks<32>(dst, src, n);
  } else if (n >= 16) {
    CopyTwoBlocks<16>(dst, src, n);
  } else if (n >= 8) {
    CopyTwoBlocks<8>(dst, src, n);
  } else if (n >= 4) {
    CopyTwoBlocks<4>(dst, src, n);
  } else {
    for (std::size_t i = 0; i < n; ++i) dst[i] = src[i];
  }
}

}  // namespace k8map
