// SPDX-License-Identifier: MIT
// The memory report: one self-contained HTML page of a map (or of two, side by side), its
// regions drawn to scale, a searchable table of symbols, the largest symbols and, for two maps,
// what changed. Written by mapsyms report and the Python package alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "named_memory.h"
#include "symbol_export.h"

namespace k8writers {

struct ReportOptions {
  // The kinds listed; of them, the address-bearing ones (Addr., loc., Func., Var.) are drawn.
  unsigned kinds = 0;
  // A region ends where the step from one value to the next is larger than this.
  std::uint32_t region_gap = 0x10000;
  std::string title;                  // empty: made from the maps' names
  std::vector<NamedMemory> memories;  // the part's memories (apart), for the usage at the top
};

// The address-bearing kinds, drawn as memory and listed by default.
unsigned ReportDefaultKinds();

// Writes the page of old_map, or of the change from old_map to *new_map.
void WriteReport(const MapSymbols& old_map, const MapSymbols* new_map, const ReportOptions& options,
                 ByteSink& sink);

// The same into the file at path, written beside it and renamed into place when complete; false
// with the reason when it cannot be written.
bool ReportToFile(const MapSymbols& old_map, const MapSymbols* new_map,
                  const ReportOptions& options, const std::string& path, FileFailure* failure);

}  // namespace k8writers
