// SPDX-License-Identifier: MIT
#include "records/symbol_index.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "records/address_index.h"
#include "records/name_index.h"

namespace k8map {
namespace {

constexpr std::size_t kMostIndexed = 0xFFFFFFFEu;  // symbol numbers fit 32 bits, plus one

// Makes an index under the lock, once: later callers find it made. null: the caller searches
// without one; a refusal of memory is remembered in refused (bit), so that later callers search
// at once rather than ask again.
template <class Index, class Make>
Index* IndexOf(bool indexing, std::atomic<Index*>& slot, std::mutex& lock,
               std::atomic<std::uint32_t>& refused, std::uint32_t bit, std::size_t count,
               Make make) {
  Index* index = slot.load(std::memory_order_acquire);
  if (index != nullptr || !indexing || count == 0 || count > kMostIndexed) return index;
  if ((refused.load(std::memory_order_relaxed) & bit) != 0) return nullptr;
  try {
    std::lock_guard<std::mutex> hold(lock);
    index = slot.load(std::memory_order_relaxed);
    if (index == nullptr) {
      index = make();
      if (index == nullptr) refused.fetch_or(bit, std::memory_order_relaxed);
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
  if (const NameIndex* index =
          IndexOf(indexing, names_, build_lock_, refused_, kNameSlot, count, make)) {
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
                                               std::size_t slot) const {
  std::uint32_t kinds = slot == kAddressSymbols ? K8MAP_KINDS_ADDRESS : K8MAP_KIND_MASK(slot);
  auto make = [&] { return AddressIndex::Build(symbols, count, kinds); };
  return IndexOf(indexing, addresses_[slot], build_lock_, refused_, 1u << slot, count, make);
}

bool SymbolIndexes::NearestOfKinds(const MapSymbol* symbols, std::size_t count,
                                   std::uint32_t address, std::uint32_t kinds,
                                   const MapSymbol** found) const {
  *found = nullptr;
  for (std::size_t kind = K8MAP_KIND_ADDR; kind <= K8MAP_KIND_ARG; ++kind) {
    if ((kinds & K8MAP_KIND_MASK(kind)) == 0) continue;
    const AddressIndex* index = AddressesOf(symbols, count, kind);
    if (index == nullptr) return false;
    const MapSymbol* s = index->Find(symbols, address);
    if (s != nullptr && (*found == nullptr || s->value > (*found)->value ||
                         (s->value == (*found)->value && s < *found))) {
      *found = s;
    }
  }
  return true;
}

const MapSymbol* SymbolIndexes::FindNearest(const MapSymbol* symbols, std::size_t count,
                                            std::uint32_t address, std::uint32_t kinds,
                                            std::uint32_t max_offset) const {
  kinds &= K8MAP_KINDS_ALL;
  if (kinds == 0) return nullptr;
  if (kinds == K8MAP_KINDS_ADDRESS) {
    if (const AddressIndex* index = AddressesOf(symbols, count, kAddressSymbols)) {
      return index->Find(symbols, address, max_offset);
    }
  } else if (const MapSymbol * found; NearestOfKinds(symbols, count, address, kinds, &found)) {
    return found != nullptr && address - found->value <= max_offset ? found : nullptr;
  }
  return SearchWithin(symbols, count, address, kinds, max_offset);
}

namespace {

// The one index that answers a set of kinds by itself: the address symbols', or a kind's.
std::size_t SlotAlone(std::uint32_t kinds) {
  if (kinds == K8MAP_KINDS_ADDRESS) return 0;
  return std::has_single_bit(kinds) ? static_cast<std::size_t>(std::countr_zero(kinds))
                                    : static_cast<std::size_t>(-1);
}

}  // namespace

std::size_t SymbolIndexes::FindManyNearest(const MapSymbol* symbols, std::size_t count,
                                           const std::uint32_t* addresses, std::size_t n,
                                           std::uint32_t kinds, std::uint32_t max_offset,
                                           const MapSymbol** results) const {
  kinds &= K8MAP_KINDS_ALL;
  std::size_t slot = kinds != 0 ? SlotAlone(kinds) : static_cast<std::size_t>(-1);
  const AddressIndex* index = slot < kSlots ? AddressesOf(symbols, count, slot) : nullptr;
  if (index != nullptr) return index->FindMany(symbols, addresses, n, max_offset, results);
  std::size_t found = 0;
  std::uint32_t at[256], offset[256];  // a set of several kinds, a batch at a time
  for (std::size_t start = 0; kinds != 0 && start < n; start += 256) {
    std::size_t m = std::min<std::size_t>(256, n - start);
    if (!ManyOfKinds(symbols, count, addresses + start, m, kinds, at, offset)) break;
    for (std::size_t i = 0; i < m; ++i) {
      bool hit = at[i] != AddressIndex::kNoSymbol && offset[i] <= max_offset;
      results[start + i] = hit ? &symbols[at[i]] : nullptr;
      found += hit ? 1 : 0;
    }
    if (start + m == n) return found;
  }
  found = 0;
  for (std::size_t i = 0; i < n; ++i) {
    results[i] = FindNearest(symbols, count, addresses[i], kinds, max_offset);
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
  std::size_t slot = kinds != 0 ? SlotAlone(kinds) : static_cast<std::size_t>(-1);
  const AddressIndex* index = slot < kSlots ? AddressesOf(symbols, count, slot) : nullptr;
  if (index != nullptr) return index->FindManyIndices(addresses, n, max_offset, indices, offsets);
  if (kinds != 0 && ManyOfKinds(symbols, count, addresses, n, kinds, indices, offsets)) {
    std::size_t found = 0;
    for (std::size_t i = 0; i < n; ++i) {
      bool hit = indices[i] != AddressIndex::kNoSymbol && offsets[i] <= max_offset;
      if (!hit) indices[i] = AddressIndex::kNoSymbol, offsets[i] = 0;
      found += hit ? 1 : 0;
    }
    return found;
  }
  std::size_t found = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const MapSymbol* s = FindNearest(symbols, count, addresses[i], kinds, max_offset);
    indices[i] = s != nullptr ? static_cast<std::uint32_t>(s - symbols) : AddressIndex::kNoSymbol;
    offsets[i] = s != nullptr ? addresses[i] - s->value : 0;
    found += s != nullptr ? 1 : 0;
  }
  return found;
}

bool SymbolIndexes::ManyOfKinds(const MapSymbol* symbols, std::size_t count,
                                const std::uint32_t* addresses, std::size_t n, std::uint32_t kinds,
                                std::uint32_t* indices, std::uint32_t* offsets) const {
  const AddressIndex* of_kind[kSlots] = {};
  for (std::size_t kind = K8MAP_KIND_ADDR; kind <= K8MAP_KIND_ARG; ++kind) {
    if ((kinds & K8MAP_KIND_MASK(kind)) == 0) continue;
    of_kind[kind] = AddressesOf(symbols, count, kind);
    if (of_kind[kind] == nullptr) return false;
  }
  // A few hundred addresses at a time through each kind's index, each keeping the nearer
  // answer (the smaller offset, then the earlier symbol).
  constexpr std::size_t kBatch = 256;
  std::uint32_t index[kBatch], offset[kBatch];
  for (std::size_t start = 0; start < n; start += kBatch) {
    std::size_t m = std::min(kBatch, n - start);
    std::fill(indices + start, indices + start + m, AddressIndex::kNoSymbol);
    for (const AddressIndex* one : of_kind) {
      if (one == nullptr) continue;
      one->FindManyIndices(addresses + start, m, K8MAP_NO_LIMIT, index, offset);
      for (std::size_t i = 0; i < m; ++i) {
        std::uint32_t& best = indices[start + i];
        std::uint32_t& best_offset = offsets[start + i];
        bool nearer = index[i] != AddressIndex::kNoSymbol &&
                      (best == AddressIndex::kNoSymbol || offset[i] < best_offset ||
                       (offset[i] == best_offset && index[i] < best));
        best = nearer ? index[i] : best;
        best_offset = nearer ? offset[i] : best_offset;
      }
    }
  }
  return true;
}

std::size_t SymbolIndexes::AddressIndexBytes() const {
  std::size_t bytes = 0;
  for (const auto& slot : addresses_) {
    if (const AddressIndex* index = slot.load(std::memory_order_acquire)) bytes += index->Bytes();
  }
  return bytes;
}

void SymbolIndexes::Reset() {
  delete names_.exchange(nullptr);
  for (auto& slot : addresses_) delete slot.exchange(nullptr);
  refused_.store(0, std::memory_order_relaxed);
}

}  // namespace k8map
