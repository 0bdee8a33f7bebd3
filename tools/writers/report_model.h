// SPDX-License-Identifier: MIT
// What the memory report shows, worked out from the maps: each map's listed symbols with their
// regions and spans, and for two maps, which symbols were added, removed and moved.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report.h"

namespace k8writers {

constexpr std::uint32_t kNoRegion = UINT32_MAX;
constexpr std::int64_t kNoSpan = -1;

// A run of values of one group (code or data) without a step larger than the region gap.
struct Region {
  bool data = false;  // the group: code (Func., Addr., loc.) or data (Var.)
  std::uint32_t first = 0, last = 0;
  std::uint64_t total_span = 0;  // the spans of its symbols added up: last - first
  std::uint32_t count = 0;
  std::vector<std::uint32_t> largest;  // up to ten of its symbols by span, largest first
};

struct MapModel {
  std::string name;
  std::vector<const MapSymbol*> symbols;  // the listed ones, in map order
  std::vector<std::int64_t> spans;        // per listed symbol, or kNoSpan
  std::vector<std::uint32_t> regions;     // per listed symbol, or kNoRegion (not drawn)
  std::vector<Region> region_list;        // code regions by value, then data regions
};

enum Change : std::uint8_t { kSame = 0, kAdded = 1, kMoved = 2, kRemoved = 3 };

struct ChangeCounts {
  std::uint64_t added = 0, removed = 0, moved = 0, unchanged = 0;
};

struct DiffModel {
  std::vector<std::uint8_t> new_changes;  // per listed symbol of the new map: kSame, kAdded, kMoved
  std::vector<std::uint32_t> partners;    // per new symbol: the old symbol it is, or UINT32_MAX
  std::vector<std::uint32_t> removed;     // old symbols with no partner
  ChangeCounts counts;                    // over the listed symbols
  ChangeCounts records;                   // over the records (Addr., loc.), as mapsyms diff
};

bool IsDrawnKind(std::uint8_t kind);

MapModel BuildMapModel(const MapSymbols& map, const ReportOptions& options);
DiffModel BuildDiffModel(const MapModel& old_map, const MapModel& new_map,
                         const MapSymbols& old_all, const MapSymbols& new_all);

}  // namespace k8writers
