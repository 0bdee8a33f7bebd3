// SPDX-License-Identifier: MIT
#include "records/symbol_index.h"

#include <cstring>

#include "records/address_index.h"
#include "records/name_index.h"

namespace k8map {
namespace {

constexpr std::size_t kMostIndexed = 0xFFFFFFFEu;  // symbol numbers fit 32 bits, plus one

// Makes an index under the lock, once: later callers find it made. null: the caller searches
// without one.
template <class Index, class Make>
Index* IndexOf(bool indexing, std::atomic<Index*>& slot, std::mutex& lock, std::size_t count,
               Make make) {
  Index* index = slot.load(std::memory_order_acquire);
  if (index != nullptr || !indexing || count == 0 || count > kMostIndexed) return index;
  try {
    std::lock_guard<std::mutex> hold(lock);
    index = slot.load(std::memory_order_relaxed);
    if (index == nullptr) {
      index = make();
      slot.store(index, std::memory_order_release);
    }
  } catch (...) {  // the lock refused
  }
  return index;
}

bool OfKinds(const MapSymbol& s, std::uint32_t kinds) {
  return ((kinds >> s.kind) & 1u) != 0;
}

// Without an index: the symbol of the kinds at or nearest below address, searched one by one.
const MapSymbol* SearchByAddress(const MapSymbol* symbols, std::size_t count, std::uint32_t address,
                                 std::uint32_t kinds) {
  const MapSymbol* best = nullptr;
  for (std::size_t n = 0; n < count; ++n) {
    const MapSymbol& s = symbols[n];
    if (OfKinds(s, kinds) && s.value <= address && (best == nullptr || s.value > best->value)) {
      best = &s;
    }
  }
  return best;
}

// The same within max_offset of address; none for no kinds.
const MapSymbol* SearchWithin(const MapSymbol* symbols, std::size_t count, std::uint32_t address,
                              std::uint32_t kinds, std::uint32_t max_offset) {
  const MapSymbol* found = kinds != 0 ? SearchByAddress(symbols, count, address, kinds) : nullptr;
  return found != nullptr && address - found->value <= max_offset ? found : nullptr;
}

}  // namespace

const MapSymbol* SymbolIndexes::FindByName(const MapSymbol* symbols, std::size_t count,
                                           const char* name) const {
  if (name == nullptr) return nullptr;
  auto make = [&] { return NameIndex::Build(symbols, count); };
  if (const NameIndex* index = IndexOf(indexing, names_, build_lock_, count, make)) {
    return index->Find(symbols, name);
  }
  for (std::size_t n = 0; n < count; ++n) {
    if (std::strcmp(symbols[n].name, name) == 0) return &symbols[n];
  }
  return nullptr;
}

std::size_t SymbolIndexes::FindAllByName(const MapSymbol* symbols, std::size_t count,
                                         const char* name, const MapSymbol** results,
                                         std::size_t capacity) const {
  const MapSymbol* first = FindByName(symbols, count, name);
  if (first == nullptr) return 0;
  std::size_t found = 0;
  auto put = [&](std::size_t n) {
    if (found < capacity) results[found] = &symbols[n];
    ++found;
  };
  auto n = static_cast<std::size_t>(first - symbols);
  if (const NameIndex* index = names_.load(std::memory_order_acquire)) {
    for (std::size_t at = n + 1; at != 0; at = index->next[at - 1]) put(at - 1);
    return found;
  }
  for (; n < count; ++n) {
    if (std::strcmp(symbols[n].name, name) == 0) put(n);
  }
  return found;
}

const AddressIndex* SymbolIndexes::AddressesOf(const MapSymbol* symbols, std::size_t count,
                                               std::uint32_t kinds) const {
  auto make = [&] { return AddressIndex::Build(symbols, count, kinds); };
  return IndexOf(indexing, addresses_[kinds >> 1], build_lock_, count, make);
}

const MapSymbol* SymbolIndexes::FindNearest(const MapSymbol* symbols, std::size_t count,
                                            std::uint32_t address, std::uint32_t kinds,
                                            std::uint32_t max_offset) const {
  kinds &= K8MAP_KINDS_ALL;
  if (kinds == 0) return nullptr;
  const AddressIndex* index = AddressesOf(symbols, count, kinds);
  if (index != nullptr) return index->Find(symbols, address, max_offset);
  return SearchWithin(symbols, count, address, kinds, max_offset);
}

std::size_t SymbolIndexes::FindManyNearest(const MapSymbol* symbols, std::size_t count,
                                           const std::uint32_t* addresses, std::size_t n,
                                           std::uint32_t kinds, std::uint32_t max_offset,
                                           const MapSymbol** results) const {
  kinds &= K8MAP_KINDS_ALL;
  const AddressIndex* index = kinds != 0 ? AddressesOf(symbols, count, kinds) : nullptr;
  if (index != nullptr) return index->FindMany(symbols, addresses, n, max_offset, results);
  std::size_t found = 0;
  for (std::size_t i = 0; i < n; ++i) {
    results[i] = SearchWithin(symbols, count, addresses[i], kinds, max_offset);
    found += results[i] != nullptr ? 1 : 0;
  }
  return found;
}

std::size_t SymbolIndexes::FindManyNearestIndices(const MapSymbol* symbols, std::size_t count,
                                                  const std::uint32_t* addresses, std::size_t n,
                                                  std::uint32_t kinds, std::uint32_t max_offset,
                                                  std::uint32_t* indices,
                                                  std::uint32_t* offsets) const {
  kinds &= K8MAP_KINDS_ALL;
  const AddressIndex* index = kinds != 0 ? AddressesOf(symbols, count, kinds) : nullptr;
  if (index != nullptr) return index->FindManyIndices(addresses, n, max_offset, indices, offsets);
  std::size_t found = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const MapSymbol* s = SearchWithin(symbols, count, addresses[i], kinds, max_offset);
    indices[i] = s != nullptr ? static_cast<std::uint32_t>(s - symbols) : AddressIndex::kNoSymbol;
    offsets[i] = s != nullptr ? addresses[i] - s->value : 0;
    found += s != nullptr ? 1 : 0;
  }
  return found;
}

void SymbolIndexes::Reset() {
  delete names_.exchange(nullptr);
  for (auto& slot : addresses_) delete slot.exchange(nullptr);
}

}  // namespace k8map
