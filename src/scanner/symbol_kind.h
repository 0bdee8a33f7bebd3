// SPDX-License-Identifier: MIT
// The kind of a symbol, from its kind keyword: numbered as the public header's K8MAP_KIND_
// values.
#pragma once

#include <cstdint>

#include "common/map_vocabulary.h"

namespace k8map {

enum SymbolKind : std::uint8_t {
  kKindNone = 0,
  kKindAddr = K8MAP_KIND_ADDR,
  kKindLoc = K8MAP_KIND_LOC,
  kKindEqu = K8MAP_KIND_EQU,
  kKindBit = K8MAP_KIND_BIT,
  kKindFunc = K8MAP_KIND_FUNC,
  kKindVar = K8MAP_KIND_VAR,
  kKindArg = K8MAP_KIND_ARG,
};

// The kind of a keyword already matched, from its first byte: no two keywords share one. A
// table, not a branch per letter: which kind a line has varies line by line.
struct KindByFirstByte {
  std::uint8_t kind[256];
  constexpr KindByFirstByte() : kind() {
    for (int k = kKindAddr; k <= kKindCount; ++k) {
      kind[static_cast<unsigned char>(kKindKeywords[k][0])] = static_cast<std::uint8_t>(k);
    }
  }
};
inline constexpr KindByFirstByte kKindByFirstByte;

constexpr SymbolKind KindOfKeyword(unsigned char first) {
  return static_cast<SymbolKind>(kKindByFirstByte.kind[first]);
}

// The bit number of a value whose digits end at q, on a line already read: the digit of the
// "(d)" that follows them, or -1 when none does.
inline std::int8_t BitOfSuffix(const unsigned char* q) {
  return q[0] == '(' ? static_cast<std::int8_t>(q[1] - '0') : std::int8_t{-1};
}

}  // namespace k8map
