// SPDX-License-Identifier: MIT
#include "records/symbol_store.h"

#include <cstdlib>

#include "common/short_copy.h"
#include "pages/page_supply.h"

namespace k8map {
namespace {

constexpr std::size_t kFirstCapacity = 1024;

void* Reallocate(const SymbolStore& store, void* memory, std::size_t size) {
  return store.reallocate != nullptr ? store.reallocate(memory, size) : std::realloc(memory, size);
}

bool Resize(SymbolStore& store, std::size_t capacity) {
  if (capacity > static_cast<std::size_t>(-1) / sizeof(MapSymbol)) return false;
  void* memory = Reallocate(store, store.symbols, capacity * sizeof(MapSymbol));
  if (memory == nullptr) return false;
  store.symbols = static_cast<MapSymbol*>(memory);
  store.capacity = capacity;
  store.writable = capacity;
  AdviseLargePages(memory, capacity * sizeof(MapSymbol));
  if (store.source.supply != nullptr) {  // the helper writes to the new room's pages ahead
    store.source.supply->SetRegion(reinterpret_cast<char*>(store.symbols + store.count),
                                   reinterpret_cast<char*>(store.symbols + capacity));
    store.writable = store.count;
  }
  return true;
}

// Room for one more symbol: the array doubles, or grows by what it can get.
bool Grow(SymbolStore& store) {
  std::size_t larger = store.capacity < kFirstCapacity ? kFirstCapacity : store.capacity * 2;
  return Resize(store, larger) || Resize(store, store.capacity + kFirstCapacity);
}

// Room to write at least one more symbol: from the helper's pages, or a larger array.
bool MakeWritable(SymbolStore& store) {
  if (store.writable == store.capacity && !Grow(store)) return false;
  char* limit = store.source.supply != nullptr
                    ? store.source.supply->TakeRegion(
                          reinterpret_cast<char*>(store.symbols + store.count), sizeof(MapSymbol))
                    : nullptr;
  store.writable = limit == nullptr
                       ? store.capacity
                       : static_cast<std::size_t>(limit - reinterpret_cast<char*>(store.symbols)) /
                             sizeof(MapSymbol);
  return store.writable > store.count;
}

}  // namespace

bool ReserveSymbols(SymbolStore& store, std::size_t more) {
  if (store.capacity - store.count >= more) return true;
  if (more > static_cast<std::size_t>(-1) - store.count) return false;
  return Resize(store, store.count + more);
}

void TrimSymbols(SymbolStore& store) {
  if (store.count == store.capacity) return;
  if (store.count == 0) {
    std::free(store.symbols);
    store.symbols = nullptr;
    store.capacity = store.writable = 0;
    return;
  }
  Resize(store, store.count);  // when refused, the larger array stays
}

int AppendSymbol(SymbolStore& store, const SymbolFields& symbol, bool padded) {
  if (store.count == store.writable && !MakeWritable(store)) return -1;
  bool block = padded && symbol.length < kNamePadding;
  auto* copy = static_cast<char*>(
      ArenaAllocate(store.names, block ? kNamePadding : symbol.length + 1, 1, store.source));
  if (copy == nullptr) return -1;
  if (block) {
    std::memcpy(copy, symbol.name, kNamePadding);  // the name never lies in the arena
    store.names.next = copy + symbol.length + 1;   // the rest of the block given back
  } else {
    ShortCopy(copy, symbol.name, symbol.length);
  }
  copy[symbol.length] = '\0';
  store.symbols[store.count++] =
      MapSymbol{copy, symbol.value, symbol.line, symbol.kind, symbol.scope, symbol.bit};
  return 0;
}

void FreeSymbols(SymbolStore& store) {
  std::free(store.symbols);
  ReleaseArena(store.names);
  store.symbols = nullptr;
  store.count = store.capacity = store.writable = 0;
}

}  // namespace k8map
