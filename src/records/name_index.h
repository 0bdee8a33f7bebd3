// SPDX-License-Identifier: MIT
// The lookup of a symbol by name: open addressing over slots of a name's hash and its symbol's
// number plus one (0: empty), the first symbol of each name kept; from each symbol, the next of
// the same name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kestrum8_map.h"
#include "records/index_buffers.h"

namespace k8map {

struct NameIndex {
  struct Slot {
    std::uint32_t hash;
    std::uint32_t symbol;
  };
  Buffer<Slot> slot;
  std::size_t mask = 0;
  Buffer<std::uint32_t>
      next;  // per symbol: the next of its name's number plus one; 0 after the last

  // The index of count symbols (at most 2^32 - 2), or null when memory is refused.
  static NameIndex* Build(const MapSymbol* symbols, std::size_t count);
  // The first symbol of that name, or null.
  const MapSymbol* Find(const MapSymbol* symbols, const char* name) const;

 private:
  // Where name is, or the empty slot where it would go.
  std::size_t SlotOf(const MapSymbol* symbols, const char* name, std::uint32_t hash) const;
};

}  // namespace k8map
