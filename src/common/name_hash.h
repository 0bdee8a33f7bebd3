// SPDX-License-Identifier: MIT
// A symbol name's 64-bit hash, eight bytes a step: names are hashed by the million (every
// symbol of a table's name index).
#pragma once

#include <cstdint>
#include <cstring>

namespace k8map {

inline std::uint64_t HashName(const char* name) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15u;
  std::size_t length = std::strlen(name);
  std::uint64_t hash = length * kMultiplier;
  for (; length >= 8; length -= 8, name += 8) {
    std::uint64_t word;
    std::memcpy(&word, name, 8);
    hash = (hash ^ word) * kMultiplier;
    hash ^= hash >> 32;
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, name, length);
  hash = (hash ^ tail) * kMultiplier;
  return hash ^ (hash >> 29);
}

}  // namespace k8map
