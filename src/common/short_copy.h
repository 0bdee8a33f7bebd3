// Copies of short byte runs (names, token texts: mostly under 32 bytes). A plain memcpy of a
// variable length compiles to a string instruction whose start-up costs more than such a copy;
// these use a few fixed-width moves instead, never touching a byte outside the two ranges.
#pragma once

#include <cstddef>
#include <cstring>

namespace k8map {

inline void ShortCopy(char* dst, const char* src, std::size_t n) {
  if (n >= 16) {
    if (n > 32) {
      std::memmove(dst, src, n);
      return;
    }
    char head[16], tail[16];
    std::memcpy(head, src, 16);
    std::memcpy(tail, src + n - 16, 16);
    std::memcpy(dst, head, 16);
    std::memcpy(dst + n - 16, tail, 16);
  } else if (n >= 8) {
    char head[8], tail[8];
    std::memcpy(head, src, 8);
    std::memcpy(tail, src + n - 8, 8);
    std::memcpy(dst, head, 8);
    std::memcpy(dst + n - 8, tail, 8);
  } else if (n >= 4) {
    char head[4], tail[4];
    std::memcpy(head, src, 4);
    std::memcpy(tail, src + n - 4, 4);
    std::memcpy(dst, head, 4);
    std::memcpy(dst + n - 4, tail, 4);
  } else {
    for (std::size_t i = 0; i < n; ++i) dst[i] = src[i];
  }
}

}  // namespace k8map
