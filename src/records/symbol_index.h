// Lookups over a symbol store, each from an index built on its first use: the first symbol of a
// name (a hash table), and the address symbol at or nearest below an address (the distinct
// values sorted, with where each 64 KiB of the address space starts among them). Any number of
// threads may look up at once, the first of them building the index; the store must not
// change meanwhile, and Reset forgets the indexes before it does.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "kestrum8_map.h"

namespace k8map {

class SymbolIndexes {
 public:
  SymbolIndexes() = default;
  ~SymbolIndexes() { Reset(); }
  SymbolIndexes(const SymbolIndexes&) = delete;
  SymbolIndexes& operator=(const SymbolIndexes&) = delete;

  // The first of the symbols with exactly that name; null when none.
  const MapSymbol* FindByName(const MapSymbol* symbols, std::size_t count, const char* name) const;
  // Of the Addr. and loc. symbols, the one at or nearest below address, the first of equal
  // values; null when none. When memory for an index is refused, both search the symbols
  // one by one.
  const MapSymbol* FindByAddress(const MapSymbol* symbols, std::size_t count,
                                 std::uint32_t address) const;

  // Forgets the indexes; no lookup may run at the same time.
  void Reset();

  struct NameIndex;
  struct AddressIndex;

 private:
  mutable std::mutex build_lock_;
  mutable std::atomic<NameIndex*> names_{nullptr};
  mutable std::atomic<AddressIndex*> addresses_{nullptr};
};

}  // namespace k8map
