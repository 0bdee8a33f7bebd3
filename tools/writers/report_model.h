// SPDX-License-Identifier: MIT
// What the memory report shows, worked out from the maps: each map's listed symbols with their
// regions and spans, and for two maps, which symbols were added, removed and moved.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "memory_layout.h"
#include "memory_sizes.h"
#include "report.h"
#include "symbol_pairing.h"

namespace k8writers {

constexpr std::int64_t kNoSpan = -1;
// Of more regions than this, the page draws and tabulates those with the most symbols.
constexpr std::size_t kShownRegions = 40;

// A region of the memory layout, with what the page shows of it.
struct Region {
  bool data = false;               // the group: code (Func., Addr., loc.) or data (Var.)
  std::uint32_t number = 0;        // within its group, from 1: "code 1", "data 2"
  std::size_t begin = 0, end = 0;  // its symbols in its group's order
  std::uint32_t first = 0, last = 0;
  std::uint64_t total_span = 0;  // from its first value to its last: last - first
  std::uint32_t count = 0;
  std::vector<std::uint32_t> largest;  // shown regions: up to ten symbols by span, largest first
};

struct MapModel {
  std::string name;
  std::vector<const MapSymbol*> symbols;  // the listed ones, in map order
  std::vector<std::int64_t> spans;   // per listed symbol its size (memory_layout.h), or kNoSpan
  std::vector<Region> region_list;   // code regions by value, then data regions
  std::vector<std::uint32_t> shown;  // the regions drawn and tabulated, in address order
  // Each group's symbols (code, data) sorted by value: the value above, the index below.
  std::vector<std::uint64_t> orders[2];
  std::vector<std::uint32_t> holders;  // paired maps: per listed symbol, its holder (Holders)
  bool bits = false;                   // whether any listed symbol has a bit number
  // Each region's use, where the listed symbols are those usage measures (every address kind,
  // no named memory): read off the layout made anyway.
  std::optional<Usage> usage;
};

struct ChangeCounts {
  std::uint64_t added = 0, removed = 0, moved = 0, unchanged = 0;
};

struct DiffModel {
  // Per listed symbol of the new map: kSame, kAdded, kMoved, or kGrew or kShrank in place.
  std::vector<std::uint8_t> new_changes;
  std::vector<std::uint32_t> partners;  // per new symbol: the old symbol it is, or UINT32_MAX
  std::vector<std::uint32_t> removed;   // old symbols with no partner
  ChangeCounts counts;                  // over the listed symbols
  ChangeCounts records;                 // over the records (Addr., loc.), as mapsyms diff
};

// What the top of the page says: each memory's (or region's) use in the map shown, and with two
// maps the change per memory and what grew most, as mapsyms usage and diff --sizes say them.
struct UsageModel {
  Usage usage;
  bool compared = false;
  SizeDiff diff;  // compared: its rows cut to the largest kTopGrowth
};
constexpr std::size_t kTopGrowth = 10;

// A map's model; paired, with what pairing it with another map needs.
// A map's model in two steps: its listed symbols, then their layout (regions, spans, the
// regions shown and, for paired maps, the holders).
MapModel ChooseModelSymbols(const MapSymbols& map, const ReportOptions& options);
void LayOutModel(MapModel& model, const ReportOptions& options, bool paired);
// The top of the page for the map shown (its model given).
UsageModel BuildUsageModel(const MapSymbols& old_map, const MapSymbols* new_map,
                           const MapModel& shown, const ReportOptions& options);
DiffModel BuildDiffModel(const MapModel& old_map, const MapModel& new_map,
                         const MapSymbols& old_all, const MapSymbols& new_all);

}  // namespace k8writers
