// SPDX-License-Identifier: MIT
// A symbol table's lookups, each through an index made on its first use (name_index.h,
// address_index.h): by name, and by address among the symbols of a set of kinds. The address
// symbols (Addr. and loc., the default) have an index of their own; any other set is answered
// from an index per kind, so that whatever sets are asked for, the indexes together hold each
// symbol at most twice. Any number of threads may look up at once, the first of them making an
// index; the symbols must not change meanwhile, and Reset forgets the indexes before they do.
// When memory for an index is refused, the lookups that need it search the symbols one by one,
// the refusal is remembered (not asked again on every lookup) and Refused() says so.
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
  // Every symbol of that name in order: the first capacity into results; how many there are.
  std::size_t FindAllByName(const MapSymbol* symbols, std::size_t count, const char* name,
                            const MapSymbol** results, std::size_t capacity) const;
  // Of the symbols whose kind's bit is set in kinds, the one at or nearest below address, the
  // first of equal values; null when none is, or when it lies more than max_offset below.
  const MapSymbol* FindNearest(const MapSymbol* symbols, std::size_t count, std::uint32_t address,
                               std::uint32_t kinds, std::uint32_t max_offset) const;
  // The same for n addresses at once into results; the number found.
  std::size_t FindManyNearest(const MapSymbol* symbols, std::size_t count,
                              const std::uint32_t* addresses, std::size_t n, std::uint32_t kinds,
                              std::uint32_t max_offset, const MapSymbol** results) const;

  // The same answered as each symbol's number in table order (0xFFFFFFFF for none) and the
  // address's offset from its value (0 for none), without reading the symbols.
  std::size_t FindManyNearestIndices(const MapSymbol* symbols, std::size_t count,
                                     const std::uint32_t* addresses, std::size_t n,
                                     std::uint32_t kinds, std::uint32_t max_offset,
                                     std::uint32_t* indices, std::uint32_t* offsets) const;

  // Forgets the indexes and any refusal; no lookup may run at the same time.
  void Reset();

  // Whether memory for an index was refused since the last Reset.
  bool Refused() const { return refused_.load(std::memory_order_relaxed) != 0; }
  // What the address indexes made so far take, in bytes.
  std::size_t AddressIndexBytes() const;

  // Off: no index is made, every lookup searches the symbols one by one, as when memory for an
  // index is refused (tests compare the two).
  bool indexing = true;

 private:
  // The slots of the address indexes: the address symbols', then one for each kind.
  static constexpr std::size_t kAddressSymbols = 0, kSlots = 1 + K8MAP_KIND_ARG;
  static constexpr std::uint32_t kNameSlot = 1u << kSlots;

  const AddressIndex* AddressesOf(const MapSymbol* symbols, std::size_t count,
                                  std::size_t slot) const;
  // The nearest of the kinds' indexes' answers (the higher value, then the earlier symbol);
  // false when one of those indexes cannot be had.
  bool NearestOfKinds(const MapSymbol* symbols, std::size_t count, std::uint32_t address,
                      std::uint32_t kinds, const MapSymbol** found) const;

  // FindManyNearestIndices without a bound for a set of several kinds, through their indexes;
  // false when one of those cannot be had.
  bool ManyOfKinds(const MapSymbol* symbols, std::size_t count, const std::uint32_t* addresses,
                   std::size_t n, std::uint32_t kinds, std::uint32_t* indices,
                   std::uint32_t* offsets) const;

  mutable std::mutex build_lock_;
  mutable std::atomic<NameIndex*> names_{nullptr};
  mutable std::atomic<AddressIndex*> addresses_[kSlots] = {};
  mutable std::atomic<std::uint32_t> refused_{0};  // a bit per slot whose index was refused
};

}  // namespace k8map
