// SPDX-License-Identifier: MIT
#include "report_model.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace k8writers {

namespace {

constexpr std::size_t kLargestPerRegion = 10;

// Keys of a value in the high half sorted by it, with a radix sort on its two 16-bit halves:
// stable, so that keys in index order stay in it among equal values.
void SortByValue(std::vector<std::uint64_t>& keys) {
  std::vector<std::uint64_t> sorted(keys.size());
  for (int shift : {32, 48}) {
    std::vector<std::size_t> start(0x10001, 0);
    for (std::uint64_t key : keys) ++start[((key >> shift) & 0xFFFF) + 1];
    for (std::size_t digit = 1; digit < start.size(); ++digit) start[digit] += start[digit - 1];
    for (std::uint64_t key : keys) sorted[start[(key >> shift) & 0xFFFF]++] = key;
    keys.swap(sorted);
  }
}

// The listed symbols of one group sorted by value (map order among equal values: the index is
// the key's low half), cut into regions at each step larger than the gap; each symbol's span is
// the step to the next higher value of its region, held by the first symbol at a value.
void LayOutGroup(MapModel& model, bool data, std::uint32_t gap) {
  std::vector<std::uint64_t>& order = model.orders[data];
  for (std::uint32_t i = 0; i < model.symbols.size(); ++i) {
    std::uint8_t kind = model.symbols[i]->kind;
    if (IsDrawnKind(kind) && IsDataKind(kind) == data) {
      order.push_back((std::uint64_t{model.symbols[i]->value} << 32) | i);
    }
  }
  SortByValue(order);
  auto value = [&](std::size_t at) { return static_cast<std::uint32_t>(order[at] >> 32); };
  auto index = [&](std::size_t at) { return static_cast<std::uint32_t>(order[at]); };
  std::uint32_t number = 0;
  for (std::size_t at = 0; at < order.size();) {
    Region region;
    region.data = data;
    region.number = ++number;
    region.first = value(at);
    region.begin = at;
    while (at < order.size() && (at == region.begin || value(at) - value(at - 1) <= gap)) {
      std::size_t same = at;  // the symbols at this value: [same, at)
      while (at < order.size() && value(at) == value(same)) ++at;
      bool higher = at < order.size() && value(at) - value(same) <= gap;
      model.spans[index(same)] = higher ? std::int64_t{value(at)} - value(same) : kNoSpan;
      for (std::size_t other = same + 1; other < at; ++other) model.spans[index(other)] = 0;
    }
    region.end = at;
    region.last = value(at - 1);
    region.total_span = region.last - region.first;
    region.count = static_cast<std::uint32_t>(at - region.begin);
    model.region_list.push_back(std::move(region));
  }
}

// The regions the page draws and tabulates: all of them, or of many, those with the most
// symbols (in address order); and the largest symbols of each by span.
void ChooseShownRegions(MapModel& model) {
  std::vector<std::uint32_t>& shown = model.shown;
  shown.resize(model.region_list.size());
  std::iota(shown.begin(), shown.end(), 0u);
  if (shown.size() > kShownRegions) {
    std::stable_sort(shown.begin(), shown.end(), [&](std::uint32_t a, std::uint32_t b) {
      return model.region_list[a].count > model.region_list[b].count;
    });
    shown.resize(kShownRegions);
    std::sort(shown.begin(), shown.end());
  }
  for (std::uint32_t r : shown) {
    Region& region = model.region_list[r];
    const std::vector<std::uint64_t>& order = model.orders[region.data];
    std::vector<std::uint32_t> members;
    for (std::size_t at = region.begin; at < region.end; ++at) {
      members.push_back(static_cast<std::uint32_t>(order[at]));
    }
    std::size_t keep = std::min(kLargestPerRegion, members.size());
    std::partial_sort(members.begin(), members.begin() + static_cast<long>(keep), members.end(),
                      [&](std::uint32_t a, std::uint32_t b) {
                        return model.spans[a] != model.spans[b] ? model.spans[a] > model.spans[b]
                                                                : a < b;
                      });
    members.resize(keep);
    while (!members.empty() && model.spans[members.back()] <= 0) members.pop_back();
    region.largest = std::move(members);
  }
}

// Pairs the symbols of two lists by name, occurrence by occurrence in order: for each of the
// new list, the index of its partner in the old, or UINT32_MAX.
std::vector<std::uint32_t> PairByName(const std::vector<const MapSymbol*>& old_list,
                                      const std::vector<const MapSymbol*>& new_list,
                                      std::vector<bool>* old_paired) {
  std::unordered_map<std::string_view, std::vector<std::uint32_t>> occurrences;
  for (std::uint32_t i = 0; i < old_list.size(); ++i) occurrences[old_list[i]->name].push_back(i);
  std::unordered_map<std::string_view, std::size_t> taken;
  std::vector<std::uint32_t> partners(new_list.size(), UINT32_MAX);
  old_paired->assign(old_list.size(), false);
  for (std::uint32_t i = 0; i < new_list.size(); ++i) {
    auto found = occurrences.find(new_list[i]->name);
    if (found == occurrences.end()) continue;
    std::size_t& next = taken[new_list[i]->name];
    if (next >= found->second.size()) continue;
    partners[i] = found->second[next++];
    (*old_paired)[partners[i]] = true;
  }
  return partners;
}

ChangeCounts Count(const std::vector<const MapSymbol*>& old_list,
                   const std::vector<const MapSymbol*>& new_list,
                   const std::vector<std::uint32_t>& partners,
                   const std::vector<bool>& old_paired) {
  ChangeCounts counts;
  for (std::uint32_t i = 0; i < new_list.size(); ++i) {
    if (partners[i] == UINT32_MAX) {
      ++counts.added;
    } else if (old_list[partners[i]]->value != new_list[i]->value) {
      ++counts.moved;
    } else {
      ++counts.unchanged;
    }
  }
  counts.removed =
      static_cast<std::uint64_t>(std::count(old_paired.begin(), old_paired.end(), false));
  return counts;
}

std::vector<const MapSymbol*> Records(const MapSymbols& map) {
  std::vector<const MapSymbol*> records;
  for (std::size_t i = 0; i < map.count; ++i) {
    std::uint8_t kind = map.symbols[i].kind;
    if (kind == K8MAP_KIND_ADDR || kind == K8MAP_KIND_LOC) records.push_back(&map.symbols[i]);
  }
  return records;
}

}  // namespace

bool IsDataKind(std::uint8_t kind) {
  return kind == K8MAP_KIND_VAR;
}

bool IsDrawnKind(std::uint8_t kind) {
  return kind == K8MAP_KIND_ADDR || kind == K8MAP_KIND_LOC || kind == K8MAP_KIND_FUNC ||
         kind == K8MAP_KIND_VAR;
}

unsigned ReportDefaultKinds() {
  return K8MAP_KIND_MASK(K8MAP_KIND_ADDR) | K8MAP_KIND_MASK(K8MAP_KIND_LOC) |
         K8MAP_KIND_MASK(K8MAP_KIND_FUNC) | K8MAP_KIND_MASK(K8MAP_KIND_VAR);
}

MapModel BuildMapModel(const MapSymbols& map, const ReportOptions& options) {
  MapModel model;
  model.name = map.name;
  model.symbols.reserve(map.count);
  for (std::size_t i = 0; i < map.count; ++i) {
    if (options.kinds & K8MAP_KIND_MASK(map.symbols[i].kind))
      model.symbols.push_back(&map.symbols[i]);
  }
  model.spans.assign(model.symbols.size(), kNoSpan);
  LayOutGroup(model, false, options.region_gap);
  LayOutGroup(model, true, options.region_gap);
  ChooseShownRegions(model);
  return model;
}

DiffModel BuildDiffModel(const MapModel& old_map, const MapModel& new_map,
                         const MapSymbols& old_all, const MapSymbols& new_all) {
  DiffModel diff;
  std::vector<bool> old_paired;
  diff.partners = PairByName(old_map.symbols, new_map.symbols, &old_paired);
  diff.counts = Count(old_map.symbols, new_map.symbols, diff.partners, old_paired);
  diff.new_changes.resize(new_map.symbols.size());
  for (std::size_t i = 0; i < new_map.symbols.size(); ++i) {
    std::uint32_t partner = diff.partners[i];
    diff.new_changes[i] = partner == UINT32_MAX                                          ? kAdded
                          : old_map.symbols[partner]->value != new_map.symbols[i]->value ? kMoved
                                                                                         : kSame;
  }
  for (std::uint32_t i = 0; i < old_paired.size(); ++i) {
    if (!old_paired[i]) diff.removed.push_back(i);
  }
  std::vector<const MapSymbol*> old_records = Records(old_all), new_records = Records(new_all);
  std::vector<bool> records_paired;
  std::vector<std::uint32_t> record_partners =
      PairByName(old_records, new_records, &records_paired);
  diff.records = Count(old_records, new_records, record_partners, records_paired);
  return diff;
}

}  // namespace k8writers
