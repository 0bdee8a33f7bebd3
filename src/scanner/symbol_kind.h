// SPDX-License-Identifier: MIT
// The kind of a symbol, from its kind keyword: numbered as the public header's K8MAP_KIND_
// values.
#pragma once

#include <cstdint>
#include <cstring>

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

// Which kind keyword a field of `length` bytes at p is (a dotted keyword with its dot, "EQU"
// or "bit" alone), or kKindNone: the one place a kind keyword is recognised. Reads five bytes
// from p, whatever the length (every caller's storage has them). One table entry, chosen by a
// multiplicative hash of the first bytes, makes every decision: which keyword a line has varies
// line by line, so nothing is branched on, and few values stay alive (on 32-bit x86, eight
// registers are few).
struct KindEntry {
  std::uint32_t word = 0;  // the first four bytes (three and a zero byte for "EQU" and "bit")
  std::uint8_t length = 0;
  std::uint8_t kind = kKindNone;
};

// Bytes as a little-endian word.
constexpr std::uint32_t WordOf(const char* text, int n) {
  std::uint32_t word = 0;
  for (int i = 0; i < n; ++i) {
    word |= static_cast<std::uint32_t>(static_cast<unsigned char>(text[i])) << (8 * i);
  }
  return word;
}

inline constexpr std::uint32_t kKindHash = 0xCC623A9Bu;  // no two keywords share a slot

constexpr std::uint32_t KindSlot(std::uint32_t word) {
  return (word * kKindHash) >> 29;
}

struct KindTable {
  KindEntry slot[8];
  constexpr KindTable() : slot() {
    for (int kind = kKindAddr; kind <= kKindCount; ++kind) {
      auto length = static_cast<int>(KindKeyword(kind).size());
      std::uint32_t word = WordOf(kKindKeywords[kind], length < 4 ? 3 : 4);
      slot[KindSlot(word)] = {word, static_cast<std::uint8_t>(length),
                              static_cast<std::uint8_t>(kind)};
    }
  }
  // Every keyword in a slot of its own (an eighth slot stays empty).
  constexpr int SlotsUsed() const {
    int used = 0;
    for (const KindEntry& entry : slot) used += entry.length != 0 ? 1 : 0;
    return used;
  }
};
inline constexpr KindTable kKindTable;
static_assert(kKindTable.SlotsUsed() == kKindCount,
              "two kind keywords share a slot: choose another kKindHash");

inline SymbolKind KindOfField(const unsigned char* p, int length) {
  std::uint32_t word;
  std::memcpy(&word, p, sizeof word);
  word &= ~0u >> (8 * static_cast<int>(length == 3));
  const KindEntry& entry = kKindTable.slot[KindSlot(word)];
  int match = static_cast<int>(entry.word == word) & static_cast<int>(entry.length == length) &
              (static_cast<int>(length != 5) | static_cast<int>(p[4] == '.'));
  return static_cast<SymbolKind>(entry.kind & -match);
}

// The bit number of a value whose digits end at q, on a line already read: the digit of the
// "(d)" that follows them, or -1 when none does.
inline std::int8_t BitOfSuffix(const unsigned char* q) {
  return q[0] == '(' ? static_cast<std::int8_t>(q[1] - '0') : std::int8_t{-1};
}

}  // namespace k8map
