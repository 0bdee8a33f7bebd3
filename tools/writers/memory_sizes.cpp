// SPDX-License-Identifier: MIT
#include "memory_sizes.h"

#include <algorithm>
#include <cstring>
#include <future>

#include "run_beside.h"

namespace k8writers {

namespace {

std::vector<ImageSpan> MemorySpans(const std::vector<NamedMemory>& memories) {
  std::vector<ImageSpan> spans;
  for (const NamedMemory& memory : memories) spans.push_back({memory.start, memory.size});
  return spans;
}

// The rows by the change's magnitude, largest first; then by name and value, then as they came.
// Each row's sort fields are worked out once, not at every comparison.
void SortRows(std::vector<SizeRow>& rows) {
  struct Key {
    std::int64_t magnitude;
    const MapSymbol* symbol;
    std::size_t row;
  };
  std::vector<Key> keys(rows.size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const SizeRow& row = rows[r];
    keys[r] = {std::abs(row.Delta()), row.after != nullptr ? row.after : row.before, r};
  }
  std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
    if (a.magnitude != b.magnitude) return a.magnitude > b.magnitude;
    if (a.symbol->name != b.symbol->name) {
      int names = std::strcmp(a.symbol->name, b.symbol->name);
      if (names != 0) return names < 0;
    }
    if (a.symbol->value != b.symbol->value) return a.symbol->value < b.symbol->value;
    return a.row < b.row;
  });
  std::vector<SizeRow> sorted;
  sorted.reserve(rows.size());
  for (const Key& key : keys) sorted.push_back(rows[key.row]);
  rows = std::move(sorted);
}

// Sizes of symbols of the kinds whose size changed, and those added and removed.
void CollectRows(const SizedMap& old_map, const SizedMap& new_map, unsigned kinds,
                 const Pairing& pairing, SizeDiff* diff) {
  auto wanted = [&](const MapSymbol& s) { return (kinds & K8MAP_KIND_MASK(s.kind)) != 0; };
  // The removed symbols are found on a thread of their own while this one goes through the new.
  std::vector<SizeRow> removed;
  auto find_removed = [&] {
    for (std::size_t i = 0; i < old_map.symbols.size(); ++i) {
      if (pairing.old_paired[i] || !wanted(*old_map.symbols[i])) continue;
      SizeRow row;
      row.change = kRemoved;
      row.before = old_map.symbols[i];
      row.old_size = old_map.layout.sizes[i];
      removed.push_back(row);
    }
  };
  std::jthread removing = RunBeside(find_removed);
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
  if (removing.joinable()) removing.join();
  diff->rows.insert(diff->rows.end(), removed.begin(), removed.end());
  SortRows(diff->rows);
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
  // Each group's regions lie in value order and apart: one sweep over both maps finds every
  // pair that covers the same addresses.
  for (RegionGroup group : {RegionGroup::kCode, RegionGroup::kData}) {
    auto of_group = [&](const SizedMap& map) {
      std::vector<std::size_t> found;
      for (std::size_t r = 0; r < map.layout.regions.size(); ++r) {
        if (map.layout.regions[r].group == group) found.push_back(r);
      }
      return found;
    };
    std::vector<std::size_t> then = of_group(old_map), now = of_group(new_map);
    auto end = [](const MemoryUse& use) { return std::uint64_t{use.start} + use.used; };
    for (std::size_t o = 0, n = 0; o < then.size() && n < now.size();) {
      const MemoryUse &a = before.memories[then[o]], &b = after.memories[now[n]];
      if (a.start <= end(b) && b.start <= end(a)) sets.Join(then[o], olds + now[n]);
      if (end(a) < end(b)) {
        ++o;
      } else {
        ++n;
      }
    }
  }
  // One row a set, in the order of its first new region (sets of old regions only last).
  std::vector<std::vector<std::size_t>> members(olds + news);
  std::vector<std::size_t> roots;
  for (std::size_t at : {olds, std::size_t{0}}) {
    for (std::size_t end = at == 0 ? olds : olds + news; at < end; ++at) {
      std::size_t root = sets.Root(at);
      if (members[root].empty()) roots.push_back(root);
      members[root].push_back(at);
    }
  }
  for (std::size_t root : roots) {
    std::vector<std::size_t>& set = members[root];
    std::sort(set.begin(), set.end());  // old regions first, each map's in its order
    UseChange change;
    for (std::size_t at : set) {
      bool is_new = at >= olds;
      const MemoryUse& use = is_new ? after.memories[at - olds] : before.memories[at];
      std::string& names = is_new ? change.name : change.was;
      std::int64_t& used = is_new ? change.new_used : change.old_used;
      names += (names.empty() ? "" : " + ") + use.name;
      used = std::max<std::int64_t>(used, 0) + static_cast<std::int64_t>(use.used);
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
  return SelectSymbols({map}, {kAddressKinds, "", {}});
}

SizedMap SizeMap(const MapSymbols& map, const SizeOptions& options) {
  return SizeSymbols(AddressSymbols(map), options);
}

SizedMap SizeSymbols(std::vector<const MapSymbol*> symbols, const SizeOptions& options) {
  SizedMap sized;
  sized.symbols = std::move(symbols);
  sized.layout = LayOutMemory(sized.symbols, options.region_gap, MemorySpans(options.memories),
                              LayoutDetail::kOrderedSizes);
  sized.holders = Holders(sized.symbols, sized.layout);
  return sized;
}

Usage MeasureUsage(const std::vector<const MapSymbol*>& symbols, const SizeOptions& options) {
  return UsageOf(symbols,
                 LayOutMemory(symbols, options.region_gap, MemorySpans(options.memories),
                              LayoutDetail::kRegions),
                 options);
}

Usage UsageOf(const std::vector<const MapSymbol*>& symbols, const MemoryLayout& layout,
              const SizeOptions& options) {
  // Each region's count and highest symbol (the last in map order among equal values): from
  // its run of the sorted order where the layout keeps one, else from a pass over the symbols.
  std::vector<std::uint32_t> counts(layout.regions.size(), 0);
  std::vector<const MapSymbol*> tops(layout.regions.size(), nullptr);
  bool sorted = layout.region_of.empty() && layout.region_of_page.empty();
  for (std::size_t r = 0; sorted && r < layout.regions.size(); ++r) {
    const MemoryRegion& region = layout.regions[r];
    counts[r] = region.count();
    if (counts[r] > 0) {
      tops[r] =
          symbols[static_cast<std::uint32_t>(layout.buckets[BucketOf(region)][region.end - 1])];
    }
  }
  for (std::size_t i = 0; !sorted && i < symbols.size(); ++i) {
    std::uint32_t r = layout.RegionOf(i, *symbols[i]);
    if (r == kNoRegion) continue;
    ++counts[r];
    if (tops[r] == nullptr || symbols[i]->value >= tops[r]->value) tops[r] = symbols[i];
  }
  Usage usage;
  bool named = !options.memories.empty();
  for (std::size_t r = 0; r < layout.regions.size(); ++r) {
    const MemoryRegion& region = layout.regions[r];
    if (named != (region.group == RegionGroup::kImage)) continue;  // outside every memory
    MemoryUse use;
    use.named = named;
    use.name = named ? options.memories[region.number].name
                     : RegionName(region.group == RegionGroup::kData, region.number);
    use.start = named ? options.memories[region.number].start : region.first;
    use.size = named ? options.memories[region.number].size : 0;
    use.symbols = counts[r];
    use.unsized_top = tops[r];
    use.used = tops[r] == nullptr ? 0 : tops[r]->value - use.start;
    usage.memories.push_back(use);
  }
  for (std::size_t i = 0; named && i < symbols.size(); ++i) {
    if (!HasAddress(symbols[i]->kind)) continue;
    bool inside = false;
    for (const NamedMemory& memory : options.memories) {
      inside = inside || symbols[i]->value - memory.start < memory.size;
    }
    if (!inside) usage.outside.push_back(symbols[i]);
  }
  return usage;
}

SizeDiff DiffSizes(const MapSymbols& old_symbols, const MapSymbols& new_symbols, unsigned kinds,
                   const SizeOptions& options) {
  SizeDiff diff;
  // The names are numbered on a thread of their own while both maps are laid out.
  std::vector<const MapSymbol*> old_list = AddressSymbols(old_symbols);
  std::vector<const MapSymbol*> new_list = AddressSymbols(new_symbols);
  std::future<NumberedNames> numbering =
      std::async(std::launch::async, [&] { return NumberBoth(old_list, new_list); });
  SizedMap old_map = SizeSymbols(old_list, options), new_map = SizeSymbols(new_list, options);
  Usage before = UsageOf(old_map.symbols, old_map.layout, options);
  Usage after = UsageOf(new_map.symbols, new_map.layout, options);
  Pairing pairing = PairSymbols(numbering.get(), old_map.symbols, old_map.holders, new_map.symbols,
                                new_map.holders);
  CollectRows(old_map, new_map, kinds, pairing, &diff);
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
