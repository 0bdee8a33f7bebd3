// SPDX-License-Identifier: MIT
#include "records/symbol_index.h"

#include <cstring>

#include "records/address_index.h"
#include "records/name_index.h"
#include "scanner/symbol_kind.h"

namespace k8map {
namespace {

constexpr std::size_t kMostIndexed = 0xFFFFFFFEu;  // symbol numbers fit 32 bits, plus one

// Makes an index under the lock, once: later callers find it made.
template <class Index>
Index* IndexOf(bool indexing, std::atomic<Index*>& slot, std::mutex& lock, const MapSymbol* symbols,
               std::size_t count) {
  Index* index = slot.load(std::memory_order_acquire);
  if (index != nullptr || !indexing || count == 0 || count > kMostIndexed) return index;
  try {
    std::lock_guard<std::mutex> hold(lock);
    index = slot.load(std::memory_order_relaxed);
    if (index == nullptr) {
      index = Index::Build(symbols, count);
      slot.store(index, std::memory_order_release);
    }
  } catch (...) {  // the lock refused: the caller searches without an index
  }
  return index;
}

// Without an index: the address symbol at or nearest below address, searched one by one.
const MapSymbol* SearchByAddress(const MapSymbol* symbols, std::size_t count,
                                 std::uint32_t address) {
  const MapSymbol* best = nullptr;
  for (std::size_t n = 0; n < count; ++n) {
    const MapSymbol& s = symbols[n];
    if (IsAddressKind(s.kind) && s.value <= address && (best == nullptr || s.value > best->value)) {
      best = &s;
    }
  }
  return best;
}

}  // namespace

const MapSymbol* SymbolIndexes::FindByName(const MapSymbol* symbols, std::size_t count,
                                           const char* name) const {
  if (name == nullptr) return nullptr;
  if (const NameIndex* index = IndexOf(indexing, names_, build_lock_, symbols, count)) {
    return index->Find(symbols, name);
  }
  for (std::size_t n = 0; n < count; ++n) {
    if (std::strcmp(symbols[n].name, name) == 0) return &symbols[n];
  }
  return nullptr;
}

const MapSymbol* SymbolIndexes::FindByAddress(const MapSymbol* symbols, std::size_t count,
                                              std::uint32_t address) const {
  if (const AddressIndex* index = IndexOf(indexing, addresses_, build_lock_, symbols, count)) {
    return index->Find(symbols, address);
  }
  return SearchByAddress(symbols, count, address);
}

std::size_t SymbolIndexes::FindManyByAddress(const MapSymbol* symbols, std::size_t count,
                                             const std::uint32_t* addresses, std::size_t n,
                                             const MapSymbol** results) const {
  if (const AddressIndex* index = IndexOf(indexing, addresses_, build_lock_, symbols, count)) {
    return index->FindMany(symbols, addresses, n, results);
  }
  std::size_t found = 0;
  for (std::size_t i = 0; i < n; ++i) {
    results[i] = SearchByAddress(symbols, count, addresses[i]);
    found += results[i] != nullptr ? 1 : 0;
  }
  return found;
}

void SymbolIndexes::Reset() {
  delete names_.exchange(nullptr);
  delete addresses_.exchange(nullptr);
}

}  // namespace k8map
