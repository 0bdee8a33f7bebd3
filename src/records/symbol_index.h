// SPDX-License-Identifier: MIT
// A symbol table's lookups, each through an index made on its first use (name_index.h,
// address_index.h). Any number of threads may look up at once, the first of them making the
// index; the symbols must not change meanwhile, and Reset forgets the indexes before they do.
// When memory for an index is refused, the lookups search the symbols one by one.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "kestrum8_map.h"

namespace k8map {

struct NameIndex;
struct AddressIndex;

class SymbolIndexes {
 public:
  SymbolIndexes() = default;
  ~SymbolIndexes() { Reset(); }
  SymbolIndexes(const SymbolIndexes&) = delete;
  SymbolIndexes& operator=(const SymbolIndexes&) = delete;

  // The first of the symbols with exactly that name; null when none.
  const MapSymbol* FindByName(const MapSymbol* symbols, std::size_t count, const char* name) const;
  // Of the Addr. and loc. symbols, the one at or nearest below address, the first of equal
  // values; null when none.
  const MapSymbol* FindByAddress(const MapSymbol* symbols, std::size_t count,
                                 std::uint32_t address) const;
  // The same for n addresses at once into results; the number found.
  std::size_t FindManyByAddress(const MapSymbol* symbols, std::size_t count,
                                const std::uint32_t* addresses, std::size_t n,
                                const MapSymbol** results) const;

  // Forgets the indexes; no lookup may run at the same time.
  void Reset();

  // Off: no index is made, every lookup searches the symbols one by one, as when memory for an
  // index is refused (tests compare the two).
  bool indexing = true;

 private:
  mutable std::mutex build_lock_;
  mutable std::atomic<NameIndex*> names_{nullptr};
  mutable std::atomic<AddressIndex*> addresses_{nullptr};
};

}  // namespace k8map
