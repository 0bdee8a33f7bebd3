// SPDX-License-Identifier: MIT
// A symbol table: the symbols of the maps parsed into it, with a parse context of its own, so
// that tables are independent of each other and of the module-wide record list.
#pragma once

#include <cstdint>
#include <vector>

#include "api/parse_entry.h"
#include "notes/map_notes.h"
#include "records/symbol_index.h"
#include "records/symbol_store.h"

struct SymbolTable {
  k8map::ParseContext parse;
  k8map::SymbolStore store;
  k8map::SymbolIndexes indexes;
  std::uint32_t flags = 0;  // K8MAP_TABLE_ flags
  k8map::MapNotes notes;    // with K8MAP_TABLE_NOTES

  SymbolTable() = default;
  ~SymbolTable() { k8map::FreeSymbols(store); }
  SymbolTable(const SymbolTable&) = delete;
  SymbolTable& operator=(const SymbolTable&) = delete;
};

namespace k8map {

// Appends the symbols of the input to the table: 0, or -1 with the table's error message set.
int ParseIntoTable(SymbolTable& table, const MapInput& input);

// A parse that failed outside the parser's own failures (an exception for want of memory):
// said as "out of memory" unless the parse already said what happened. Returns -1.
int ParseFailedForMemory(SymbolTable& table);

}  // namespace k8map
