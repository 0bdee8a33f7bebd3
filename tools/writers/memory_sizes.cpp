// SPDX-License-Identifier: MIT
#include "memory_sizes.h"

#include <algorithm>
#include <cstring>

namespace k8writers {

namespace {

std::string RegionName(const MemoryRegion& region) {
  return (region.group == RegionGroup::kData ? "data " : "code ") + std::to_string(region.number);
}

std::vector<ImageSpan> MemorySpans(const std::vector<NamedMemory>& memories) {
  std::vector<ImageSpan> spans;
  for (const NamedMemory& memory : memories) spans.push_back({memory.start, memory.size});
  return spans;
}

// A region's used bytes from start: to the end of its highest symbol, or to that symbol's value
// when its size is not known (then *unsized is the symbol).
std::uint64_t UsedEnd(const SizedMap& map, const MemoryRegion& region, const MapSymbol** unsized) {
  const std::vector<std::uint64_t>& order = map.layout.buckets[BucketOf(region)];
  *unsized = nullptr;
  if (region.begin == region.end) return 0;
  auto top = static_cast<std::uint32_t>(order[region.end - 1]);
  std::int64_t size = map.layout.sizes[top];
  if (size == kUnknownSize) *unsized = map.symbols[top];
  return std::uint64_t{map.symbols[top]->value} +
         static_cast<std::uint64_t>(std::max<std::int64_t>(size, 0));
}

MemoryUse UseOf(const SizedMap& map, const MemoryRegion& region) {
  MemoryUse use;
  use.name = RegionName(region);
  use.start = region.first;
  use.symbols = region.count();
  use.used = UsedEnd(map, region, &use.unsized_top) - region.first;
  return use;
}

// Sizes of symbols of the kinds whose size changed, and those added and removed.
void CollectRows(const SizedMap& old_map, const SizedMap& new_map, unsigned kinds,
                 const Pairing& pairing, SizeDiff* diff) {
  auto wanted = [&](const MapSymbol& s) { return (kinds & K8MAP_KIND_MASK(s.kind)) != 0; };
  for (std::size_t i = 0; i < new_map.symbols.size(); ++i) {
    const MapSymbol* after = new_map.symbols[i];
    if (!wanted(*after)) continue;
    SizeRow row;
    row.after = after;
    row.new_size = new_map.layout.sizes[i];
    std::uint32_t partner = pairing.partners[i];
    if (partner == kNoPartner) {
      row.change = kAdded;
    } else {
      row.before = old_map.symbols[partner];
      row.old_size = old_map.layout.sizes[partner];
      if (row.old_size == kUnknownSize || row.new_size == kUnknownSize) {
        diff->unknown += row.old_size != row.new_size ? 1 : 0;
        continue;
      }
      if (row.old_size == row.new_size) continue;
      row.change = row.new_size > row.old_size ? kGrew : kShrank;
    }
    diff->rows.push_back(row);
  }
  for (std::size_t i = 0; i < old_map.symbols.size(); ++i) {
    if (pairing.old_paired[i] || !wanted(*old_map.symbols[i])) continue;
    SizeRow row;
    row.change = kRemoved;
    row.before = old_map.symbols[i];
    row.old_size = old_map.layout.sizes[i];
    diff->rows.push_back(row);
  }
  std::stable_sort(diff->rows.begin(), diff->rows.end(), [](const SizeRow& a, const SizeRow& b) {
    std::int64_t x = std::abs(a.Delta()), y = std::abs(b.Delta());
    if (x != y) return x > y;
    const MapSymbol* sa = a.after != nullptr ? a.after : a.before;
    const MapSymbol* sb = b.after != nullptr ? b.after : b.before;
    int names = std::strcmp(sa->name, sb->name);
    return names != 0 ? names < 0 : sa->value < sb->value;
  });
}

// Each symbol's region, from the regions' runs of the sorted order.
std::vector<std::uint32_t> RegionsOfSymbols(const SizedMap& map) {
  std::vector<std::uint32_t> region_of(map.symbols.size(), kNoRegion);
  for (std::uint32_t r = 0; r < map.layout.regions.size(); ++r) {
    const MemoryRegion& region = map.layout.regions[r];
    const std::vector<std::uint64_t>& order = map.layout.buckets[BucketOf(region)];
    for (std::size_t at = region.begin; at < region.end; ++at) {
      region_of[static_cast<std::uint32_t>(order[at])] = r;
    }
  }
  return region_of;
}

// Disjoint sets of regions, old ones first, then new ones.
struct RegionSets {
  std::vector<std::size_t> parent;
  std::size_t Root(std::size_t at) {
    while (parent[at] != at) at = parent[at] = parent[parent[at]];
    return at;
  }
  void Join(std::size_t a, std::size_t b) { parent[Root(a)] = Root(b); }
};

// Regions of the two maps held together where they share a symbol or cover the same addresses
// (code with code, data with data): a region that split, merged or moved is one row, and a
// region with no such partner is new or gone.
void PairRegions(const Usage& before, const Usage& after, const SizedMap& old_map,
                 const SizedMap& new_map, const Pairing& pairing, SizeDiff* diff) {
  std::size_t olds = before.memories.size(), news = after.memories.size();
  RegionSets sets;
  sets.parent.resize(olds + news);
  for (std::size_t i = 0; i < sets.parent.size(); ++i) sets.parent[i] = i;
  std::vector<std::uint32_t> old_region = RegionsOfSymbols(old_map);
  std::vector<std::uint32_t> new_region = RegionsOfSymbols(new_map);
  for (std::size_t i = 0; i < new_map.symbols.size(); ++i) {
    std::uint32_t partner = pairing.partners[i];
    if (partner != kNoPartner && old_region[partner] != kNoRegion) {
      sets.Join(old_region[partner], olds + new_region[i]);
    }
  }
  for (std::size_t n = 0; n < news; ++n) {
    const MemoryUse& now = after.memories[n];
    for (std::size_t o = 0; o < olds; ++o) {
      const MemoryUse& then = before.memories[o];
      if (old_map.layout.regions[o].group == new_map.layout.regions[n].group &&
          then.start <= std::uint64_t{now.start} + now.used &&
          now.start <= std::uint64_t{then.start} + then.used) {
        sets.Join(o, olds + n);
      }
    }
  }
  // One row a set, in the order of its first new region (sets of old regions only last).
  std::vector<std::size_t> roots;
  for (std::size_t at = olds; at < olds + news; ++at) roots.push_back(sets.Root(at));
  for (std::size_t at = 0; at < olds; ++at) roots.push_back(sets.Root(at));
  std::vector<bool> done(olds + news, false);
  for (std::size_t root : roots) {
    if (done[root]) continue;
    done[root] = true;
    UseChange change;
    for (std::size_t n = 0; n < news; ++n) {
      if (sets.Root(olds + n) != root) continue;
      change.name += (change.name.empty() ? "" : " + ") + after.memories[n].name;
      change.new_used = std::max<std::int64_t>(change.new_used, 0) +
                        static_cast<std::int64_t>(after.memories[n].used);
    }
    for (std::size_t o = 0; o < olds; ++o) {
      if (sets.Root(o) != root) continue;
      change.was += (change.was.empty() ? "" : " + ") + before.memories[o].name;
      change.old_used = std::max<std::int64_t>(change.old_used, 0) +
                        static_cast<std::int64_t>(before.memories[o].used);
    }
    if (change.name.empty()) change.name = change.was;
    diff->totals.push_back(change);
  }
}

}  // namespace

std::int64_t SizeRow::Delta() const {
  auto known = [](std::int64_t size) { return std::max<std::int64_t>(size, 0); };
  return (after != nullptr ? known(new_size) : 0) - (before != nullptr ? known(old_size) : 0);
}

unsigned ObjectKinds() {
  return K8MAP_KIND_MASK(K8MAP_KIND_ADDR) | K8MAP_KIND_MASK(K8MAP_KIND_FUNC) |
         K8MAP_KIND_MASK(K8MAP_KIND_VAR);
}

std::vector<const MapSymbol*> AddressSymbols(const MapSymbols& map) {
  std::vector<const MapSymbol*> symbols;
  symbols.reserve(map.count);
  for (std::size_t i = 0; i < map.count; ++i) {
    if (HasAddress(map.symbols[i].kind)) symbols.push_back(&map.symbols[i]);
  }
  return symbols;
}

SizedMap SizeMap(const MapSymbols& map, const SizeOptions& options) {
  SizedMap sized;
  sized.symbols = AddressSymbols(map);
  sized.layout = LayOutMemory(sized.symbols, options.region_gap, MemorySpans(options.memories),
                              LayoutDetail::kOrderedSizes);
  sized.holders = Holders(sized.symbols, sized.layout);
  return sized;
}

Usage MeasureUsage(const SizedMap& map, const SizeOptions& options) {
  Usage usage;
  const std::vector<MemoryRegion>& regions = map.layout.regions;
  if (options.memories.empty()) {
    for (const MemoryRegion& region : regions) usage.memories.push_back(UseOf(map, region));
    return usage;
  }
  for (std::size_t m = 0; m < options.memories.size(); ++m) {
    const NamedMemory& memory = options.memories[m];
    const MemoryRegion& region = regions[map.layout.first_image_region + m];
    MemoryUse use;
    use.name = memory.name;
    use.named = true;
    use.start = memory.start;
    use.size = memory.size;
    use.symbols = region.count();
    std::uint64_t end = UsedEnd(map, region, &use.unsized_top);
    use.used = region.count() == 0 ? 0 : end - memory.start;
    usage.memories.push_back(use);
  }
  for (std::size_t r = 0; r < map.layout.first_image_region; ++r) {
    const MemoryRegion& region = regions[r];
    const std::vector<std::uint64_t>& order = map.layout.buckets[BucketOf(region)];
    for (std::size_t at = region.begin; at < region.end; ++at) {
      usage.outside.push_back(map.symbols[static_cast<std::uint32_t>(order[at])]);
    }
  }
  std::sort(usage.outside.begin(), usage.outside.end());  // map order
  return usage;
}

SizeDiff DiffSizes(const SizedMap& old_map, const SizedMap& new_map, unsigned kinds,
                   const SizeOptions& options) {
  SizeDiff diff;
  Pairing pairing = PairSymbols(old_map.symbols, old_map.holders, new_map.symbols, new_map.holders);
  CollectRows(old_map, new_map, kinds, pairing, &diff);
  Usage before = MeasureUsage(old_map, options), after = MeasureUsage(new_map, options);
  if (!options.memories.empty()) {
    for (std::size_t m = 0; m < after.memories.size(); ++m) {
      diff.totals.push_back({after.memories[m].name, "",
                             static_cast<std::int64_t>(before.memories[m].used),
                             static_cast<std::int64_t>(after.memories[m].used)});
    }
  } else {
    PairRegions(before, after, old_map, new_map, pairing, &diff);
  }
  return diff;
}

}  // namespace k8writers
