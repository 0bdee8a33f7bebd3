// SPDX-License-Identifier: MIT
// Bit counts of 64-bit masks. On 32-bit x86 the standard ones call library routines; these
// work on the two 32-bit halves, a couple of instructions each. They are always inlined, so
// inside a function compiled for BMI they become its instructions. The same names for 32-bit
// masks, so that code can be written once for both widths.
#pragma once

#include <bit>
#include <cstdint>

#if defined(__GNUC__) || defined(__clang__)
#define K8MAP_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define K8MAP_ALWAYS_INLINE inline
#endif

namespace k8map {

// The number of trailing zero bits; 64 for zero.
K8MAP_ALWAYS_INLINE int CountTrailingZeros(std::uint64_t x) {
#if defined(__i386__)
  auto low = static_cast<std::uint32_t>(x), high = static_cast<std::uint32_t>(x >> 32);
  return low != 0 ? std::countr_zero(low) : 32 + std::countr_zero(high);
#else
  return std::countr_zero(x);
#endif
}

// The number of leading zero bits; 64 for zero.
K8MAP_ALWAYS_INLINE int CountLeadingZeros(std::uint64_t x) {
#if defined(__i386__)
  auto low = static_cast<std::uint32_t>(x), high = static_cast<std::uint32_t>(x >> 32);
  return high != 0 ? std::countl_zero(high) : 32 + std::countl_zero(low);
#else
  return std::countl_zero(x);
#endif
}

// The number of one bits.
K8MAP_ALWAYS_INLINE int PopCount(std::uint64_t x) {
#if defined(__i386__)
  return std::popcount(static_cast<std::uint32_t>(x)) +
         std::popcount(static_cast<std::uint32_t>(x >> 32));
#else
  return std::popcount(x);
#endif
}

K8MAP_ALWAYS_INLINE int CountTrailingZeros(std::uint32_t x) {
  return std::countr_zero(x);
}

K8MAP_ALWAYS_INLINE int CountLeadingZeros(std::uint32_t x) {
  return std::countl_zero(x);
}

K8MAP_ALWAYS_INLINE int PopCount(std::uint32_t x) {
  return std::popcount(x);
}

}  // namespace k8map
