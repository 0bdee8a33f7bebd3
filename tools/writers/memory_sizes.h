// SPDX-License-Identifier: MIT
// How full each memory is and what grew between two maps, by the memory layout's size rule: the
// model behind mapsyms usage, diff --sizes, the report's top and the Python package.
//
// Named memories are laid out as the images of an export are: code and data in one sequence,
// since a part's flash holds both. Without them the layout's regions stand in for memories.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "memory_layout.h"
#include "named_memory.h"
#include "symbol_export.h"
#include "symbol_pairing.h"

namespace k8writers {

struct SizeOptions {
  std::uint32_t region_gap = 0x10000;  // at least 1
  std::vector<NamedMemory> memories;   // apart (MemoriesApart)
};

// A map's symbols with an address, laid out.
struct SizedMap {
  std::vector<const MapSymbol*> symbols;  // in map order
  MemoryLayout layout;                    // regions and sizes of them; the memories as images
  std::vector<std::uint32_t> holders;     // Holders of them
};

// The symbols of map with an address (Addr., loc., Func., Var.), in map order.
std::vector<const MapSymbol*> AddressSymbols(const MapSymbols& map);
SizedMap SizeMap(const MapSymbols& map, const SizeOptions& options);
// The same of a map's address symbols, in map order.
SizedMap SizeSymbols(std::vector<const MapSymbol*> symbols, const SizeOptions& options);

struct MemoryUse {
  std::string name;  // the memory's, or a region's: "code 1", "data 2"
  bool named = false;
  std::uint32_t start = 0;  // a named memory's start, or a region's lowest value
  std::uint64_t size = 0;   // a named memory's size; 0 for a region, whose size is not known
  std::uint64_t used = 0;   // from start to the end of its highest symbol
  std::uint32_t symbols = 0;
  // The highest symbol when the map does not tell its size: counted to its value only.
  const MapSymbol* unsized_top = nullptr;
  double Percent() const { return size == 0 ? 0.0 : 100.0 * static_cast<double>(used) / size; }
};

struct Usage {
  std::vector<MemoryUse> memories;        // the named memories in the order given, or the regions
  std::vector<const MapSymbol*> outside;  // with named memories: the symbols outside them all
};

// The use of each memory by symbols (a map's symbols with an address, AddressSymbols). A
// memory's used bytes run to its highest symbol's value: the map never tells the size of the
// highest symbol of a region or memory.
Usage MeasureUsage(const std::vector<const MapSymbol*>& symbols, const SizeOptions& options);
// The same from a layout of the symbols already made with the options' gap and memories (as
// images), of any detail.
Usage UsageOf(const std::vector<const MapSymbol*>& symbols, const MemoryLayout& layout,
              const SizeOptions& options);

// A symbol whose size changed, or that was added or removed.
struct SizeRow {
  Change change = kSame;              // kAdded, kRemoved, kGrew or kShrank
  const MapSymbol* before = nullptr;  // in the old map; null when added
  const MapSymbol* after = nullptr;   // in the new map; null when removed
  std::int64_t old_size = kUnknownSize, new_size = kUnknownSize;
  // New size less old, an unknown or absent size counted as 0.
  std::int64_t Delta() const;
};

// A memory's (or region's) used bytes in both maps. A region of the new map is held to the old
// map's regions of its group that cover any of its addresses; a region of the old map that no
// new one covers is gone.
struct UseChange {
  std::string name;  // the new map's memory or region, or the old one's when gone
  std::string was;   // regions: the old map's regions it covers, joined with " + "
  std::int64_t old_used = -1, new_used = -1;  // -1: not in that map
};

struct SizeDiff {
  std::vector<SizeRow> rows;  // by the size of the change, largest first
  std::vector<UseChange> totals;
  // Symbols in both maps whose size one map does not tell: left out of rows.
  std::uint64_t unknown = 0;
};

// What grew, shrank, came and went among the symbols of the kinds (K8MAP_KIND_MASK bits); the
// names are numbered on a thread of their own while the maps are laid out.
SizeDiff DiffSizes(const MapSymbols& old_map, const MapSymbols& new_map, unsigned kinds,
                   const SizeOptions& options);

// The object kinds, which diff --sizes lists by default: a label's size is part of its object's.
unsigned ObjectKinds();

}  // namespace k8writers
