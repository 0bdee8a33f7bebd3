// SPDX-License-Identifier: MIT
#include "report_model.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace k8writers {

namespace {

constexpr std::size_t kLargestPerRegion = 10;

// The listed symbols' regions and sizes, as the memory layout has them.
void LayOutGroups(MapModel& model, const ReportOptions& options, bool paired) {
  MemoryLayout layout =
      LayOutMemory(model.symbols, options.region_gap, {}, LayoutDetail::kOrderedSizes);
  static_assert(kUnknownSize == kNoSpan);
  if (paired) model.holders = Holders(model.symbols, layout);
  unsigned drawn = ReportDefaultKinds();
  if (options.memories.empty() && (options.kinds & drawn) == drawn) {
    model.usage = UsageOf(model.symbols, layout, {options.region_gap, {}});
  }
  model.spans = std::move(layout.sizes);
  model.orders[0] = std::move(layout.buckets[kCodeBucket]);
  model.orders[1] = std::move(layout.buckets[kDataBucket]);
  for (const MemoryRegion& memory : layout.regions) {
    Region region;
    region.data = memory.group == RegionGroup::kData;
    region.number = memory.number;
    region.begin = memory.begin;
    region.end = memory.end;
    region.first = memory.first;
    region.last = memory.last;
    region.total_span = region.last - region.first;
    region.count = memory.count();
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
    // The largest so far, largest first (the lower index first among equal spans): a symbol
    // goes in only when it beats the last of a full list, which few do.
    std::vector<std::uint32_t>& largest = region.largest;
    auto beats = [&](std::uint32_t a, std::uint32_t b) {
      return model.spans[a] != model.spans[b] ? model.spans[a] > model.spans[b] : a < b;
    };
    for (std::size_t at = region.begin; at < region.end; ++at) {
      auto index = static_cast<std::uint32_t>(order[at]);
      if (model.spans[index] <= 0) continue;
      if (largest.size() == kLargestPerRegion && !beats(index, largest.back())) continue;
      if (largest.size() == kLargestPerRegion) largest.pop_back();
      largest.insert(std::upper_bound(largest.begin(), largest.end(), index, beats), index);
    }
  }
}

// Pairs the records of two maps by name, occurrence by occurrence in order, as mapsyms diff
// counts them: for each of the new list, the index of its partner in the old, or kNoPartner.
std::vector<std::uint32_t> PairByOccurrence(const std::vector<const MapSymbol*>& old_list,
                                            const std::vector<const MapSymbol*>& new_list,
                                            std::vector<bool>* old_paired) {
  std::unordered_map<std::string_view, std::vector<std::uint32_t>> occurrences;
  for (std::uint32_t i = 0; i < old_list.size(); ++i) occurrences[old_list[i]->name].push_back(i);
  std::unordered_map<std::string_view, std::size_t> taken;
  std::vector<std::uint32_t> partners(new_list.size(), kNoPartner);
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
    if (partners[i] == kNoPartner) {
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

unsigned ReportDefaultKinds() {
  return K8MAP_KIND_MASK(K8MAP_KIND_ADDR) | K8MAP_KIND_MASK(K8MAP_KIND_LOC) |
         K8MAP_KIND_MASK(K8MAP_KIND_FUNC) | K8MAP_KIND_MASK(K8MAP_KIND_VAR);
}

MapModel ChooseModelSymbols(const MapSymbols& map, const ReportOptions& options) {
  MapModel model;
  model.name = map.name;
  model.symbols = SelectSymbols({map}, {options.kinds, "", {}});
  for (const MapSymbol* s : model.symbols) model.bits = model.bits || s->bit >= 0;
  return model;
}

void LayOutModel(MapModel& model, const ReportOptions& options, bool paired) {
  LayOutGroups(model, options, paired);
  ChooseShownRegions(model);
}

UsageModel BuildUsageModel(const MapSymbols& old_map, const MapSymbols* new_map,
                           const MapModel& shown, const ReportOptions& options) {
  SizeOptions sizes{options.region_gap, options.memories};
  UsageModel model;
  model.usage = shown.usage
                    ? *shown.usage
                    : MeasureUsage(AddressSymbols(new_map != nullptr ? *new_map : old_map), sizes);
  if (new_map != nullptr) {
    model.compared = true;
    model.diff = DiffSizes(old_map, *new_map, ObjectKinds(), sizes);
    if (model.diff.rows.size() > kTopGrowth) model.diff.rows.resize(kTopGrowth);
  }
  return model;
}

DiffModel BuildDiffModel(const MapModel& old_map, const MapModel& new_map,
                         const MapSymbols& old_all, const MapSymbols& new_all) {
  DiffModel diff;
  Pairing pairing = PairSymbols(old_map.symbols, old_map.holders, new_map.symbols, new_map.holders);
  diff.partners = std::move(pairing.partners);
  const std::vector<bool>& old_paired = pairing.old_paired;
  diff.counts = Count(old_map.symbols, new_map.symbols, diff.partners, old_paired);
  diff.new_changes.resize(new_map.symbols.size());
  for (std::size_t i = 0; i < new_map.symbols.size(); ++i) {
    std::uint32_t partner = diff.partners[i];
    std::int64_t before = partner == kNoPartner ? kNoSpan : old_map.spans[partner];
    std::int64_t after = new_map.spans[i];
    diff.new_changes[i] = partner == kNoPartner                                          ? kAdded
                          : old_map.symbols[partner]->value != new_map.symbols[i]->value ? kMoved
                          : before == kNoSpan || after == kNoSpan || before == after     ? kSame
                          : after > before                                               ? kGrew
                                                                                         : kShrank;
  }
  for (std::uint32_t i = 0; i < old_paired.size(); ++i) {
    if (!old_paired[i]) diff.removed.push_back(i);
  }
  std::vector<const MapSymbol*> old_records = Records(old_all), new_records = Records(new_all);
  std::vector<bool> records_paired;
  std::vector<std::uint32_t> record_partners =
      PairByOccurrence(old_records, new_records, &records_paired);
  diff.records = Count(old_records, new_records, record_partners, records_paired);
  return diff;
}

}  // namespace k8writers
