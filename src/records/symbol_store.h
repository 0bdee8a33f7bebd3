// SPDX-License-Identifier: MIT
// A symbol table's storage: its symbols in one array, in append order (hosts read it as it
// is), and their names in a chunked arena. Appending costs no allocation of its own but when
// the array or the arena's chunk is full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "common/bits.h"  // K8MAP_ALWAYS_INLINE
#include "kestrum8_map.h"
#include "records/arena.h"
#include "records/record_list.h"  // kNamePadding

namespace k8map {

// Allocation seam for the array in tests: resizes as std::realloc does (the array is freed
// with std::free), null to refuse.
using ArrayReallocator = void* (*)(void* memory, std::size_t size);

struct SymbolStore {
  MapSymbol* symbols = nullptr;
  std::size_t count = 0;
  std::size_t capacity = 0;
  // Symbols up to here may be written without asking; with a supply, the array's pages beyond
  // are the helper's until it hands them over (ChunkSupply::TakeRegion).
  std::size_t writable = 0;
  Arena names;
  ChunkSource source;                     // where the names' chunks come from
  ArrayReallocator reallocate = nullptr;  // null: std::realloc
};

// What a symbol is made of; name need not be terminated.
struct SymbolFields {
  const char* name;
  std::size_t length;
  std::uint32_t value;
  std::uint32_t line;
  std::uint8_t kind;
  char scope;
  std::int8_t bit;
};

// Makes room for at least `more` further symbols in the array, so that a parse whose size is
// known does not move it as it grows; false (nothing changed) when memory is refused.
bool ReserveSymbols(SymbolStore& store, std::size_t more);

// Gives back the array's room beyond its symbols. No supply may be set.
void TrimSymbols(SymbolStore& store);

// Appends a symbol with its own copy of the name; 0, or -1 with the store unchanged when memory
// cannot be obtained. With padded, the name is followed by at least kNamePadding readable bytes
// (a name in a fixed buffer of the scanner or the grammar) and a short one is copied as one
// fixed-size block.
int AppendSymbol(SymbolStore& store, const SymbolFields& symbol, bool padded);

// Appends entries [from, to) of single-line symbols as AppendSymbol does with padded names (an
// entry whose value did not convert is passed over; its line counted from first_line), while
// each has a name shorter than
// kNamePadding and there is room in the array and the arena's chunk; returns the index of the
// first entry it leaves (to when none). The bump pointers stay in locals meanwhile, as in
// AppendPaddedRun. Room means writable room: the array's next pages may be the helper's.
template <class Entry>  // name, name_length, number, converted, kind, scope, bit, line
K8MAP_ALWAYS_INLINE int AppendSymbolRun(SymbolStore& store, const Entry* entries, int from, int to,
                                        std::int64_t first_line) {
  MapSymbol* symbol = store.symbols + store.count;
  MapSymbol* const symbol_limit = store.symbols + store.writable;
  char* name = store.names.next;
  char* const name_limit = store.names.limit;
  int i = from;
  for (; i < to; ++i) {
    const Entry& entry = entries[i];
    if (!entry.converted) continue;
    auto length = static_cast<std::size_t>(entry.name_length);
    if (length >= kNamePadding || symbol == symbol_limit ||
        static_cast<std::size_t>(name_limit - name) < kNamePadding) {
      break;
    }
    std::memcpy(name, entry.name, kNamePadding);
    name[length] = '\0';
    auto line = static_cast<std::uint32_t>(first_line + entry.line);
    *symbol++ = MapSymbol{name, entry.number, line, entry.kind, entry.scope, entry.bit};
    name += length + 1;
  }
  store.count = static_cast<std::size_t>(symbol - store.symbols);
  store.names.next = name;
  return i;
}

// Releases every symbol and name; the store is empty afterwards.
void FreeSymbols(SymbolStore& store);

}  // namespace k8map
