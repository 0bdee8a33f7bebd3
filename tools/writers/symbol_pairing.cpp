// SPDX-License-Identifier: MIT
#include "symbol_pairing.h"

#include <algorithm>
#include <tuple>

#include "name_numbers.h"
#include "run_beside.h"

namespace k8writers {

namespace {

constexpr std::uint32_t kNone = kNoPartner;

bool IsLabel(const MapSymbol& s) {
  return s.kind == K8MAP_KIND_LOC;
}

// Who a symbol of a repeated name is, beside its name: a held label its holder's name and
// occurrence and its order among the labels of its name in that holder; anything else its order
// among the rest of its name (holder_name kNone).
struct Who {
  std::uint32_t holder_name = kNone, holder_occurrence = 0, order = 0, index = 0;
  auto Key() const { return std::tie(holder_name, holder_occurrence, order); }
  auto Place() const { return std::tie(holder_name, holder_occurrence, index); }
};

// One map's side of the pairing.
struct Side {
  const std::vector<const MapSymbol*>& list;
  const std::vector<std::uint32_t>& holders;
  const std::uint32_t* name_of;  // per symbol: its name's number, shared by both maps
};

// Whether symbol i of a side is a label held by another symbol.
bool Held(const Side& side, std::size_t i) {
  return IsLabel(*side.list[i]) && side.holders[i] != kNone && side.holders[i] != i;
}

// The symbols of a side whose names are repeated, grouped by the name's place among the repeated
// names (group g is entries[start[g], start[g + 1])), each group sorted by Key.
struct Groups {
  std::vector<std::uint32_t> start;
  std::vector<Who> entries;
};

Groups GroupRepeated(const Side& side, const std::vector<std::uint32_t>& repeated_of,
                     std::size_t repeated) {
  std::size_t count = side.list.size();
  // Each symbol's occurrence among the symbols of its name that no label-holder holds.
  std::vector<std::uint32_t> occurrence(count, 0), seen(repeated, 0);
  Groups groups;
  groups.start.assign(repeated + 1, 0);
  // The symbols of repeated names and their groups, in map order: the second pass visits these
  // alone.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> members;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t group = repeated_of[side.name_of[i]];
    if (group == kNone) continue;
    members.emplace_back(i, group);
    ++groups.start[group + 1];
    if (!Held(side, i)) occurrence[i] = ++seen[group];
  }
  for (std::size_t g = 0; g < repeated; ++g) groups.start[g + 1] += groups.start[g];
  groups.entries.resize(groups.start[repeated]);
  std::vector<std::uint32_t> next(groups.start.begin(), groups.start.end() - 1);
  for (auto [i, group] : members) {
    Who who;
    who.index = i;
    if (Held(side, i)) {
      std::uint32_t holder = side.holders[i];
      who.holder_name = side.name_of[holder];
      who.holder_occurrence = repeated_of[who.holder_name] != kNone ? occurrence[holder] : 0;
    } else {
      who.order = occurrence[i];
    }
    groups.entries[next[group]++] = who;
  }
  // Within a group, a held label's order among those of its holder, in map order.
  for (std::size_t g = 0; g < repeated; ++g) {
    Who* first = groups.entries.data() + groups.start[g];
    Who* last = groups.entries.data() + groups.start[g + 1];
    if (last - first < 2) continue;
    std::sort(first, last, [](const Who& a, const Who& b) { return a.Place() < b.Place(); });
    for (Who* at = first; at < last; ++at) {
      if (at->holder_name == kNone) continue;
      bool same_holder = at > first && at[-1].holder_name == at->holder_name &&
                         at[-1].holder_occurrence == at->holder_occurrence;
      at->order = same_holder ? at[-1].order + 1 : 1;
    }
  }
  return groups;
}

}  // namespace

std::vector<std::uint32_t> Holders(const std::vector<const MapSymbol*>& symbols,
                                   const MemoryLayout& layout) {
  std::vector<std::uint32_t> holders(symbols.size(), kNone);
  // The layout's record of labels, read in map order, spares a visit to every symbol.
  auto is_label = [&](std::uint32_t index) {
    return layout.labels.empty() ? IsLabel(*symbols[index])
                                 : static_cast<bool>(layout.labels[index]);
  };
  for (const MemoryRegion& region : layout.regions) {
    const std::vector<std::uint64_t>& order = layout.buckets[BucketOf(region)];
    std::uint32_t holder = kNone;
    for (std::size_t at = region.begin; at < region.end;) {
      std::size_t same = at;  // the symbols at one value: [at, same)
      auto value = static_cast<std::uint32_t>(order[at] >> 32);
      while (same < region.end && static_cast<std::uint32_t>(order[same] >> 32) == value) ++same;
      for (std::size_t i = at; i < same; ++i) {
        auto index = static_cast<std::uint32_t>(order[i]);
        if (!is_label(index)) {
          holder = index;  // the first object at a value holds the labels there
          break;
        }
      }
      for (std::size_t i = at; i < same; ++i) {
        auto index = static_cast<std::uint32_t>(order[i]);
        holders[index] = is_label(index) ? holder : index;
      }
      at = same;
    }
  }
  return holders;
}

NumberedNames NumberBoth(const std::vector<const MapSymbol*>& old_list,
                         const std::vector<const MapSymbol*>& new_list) {
  std::size_t old_count = old_list.size();
  NumberedNames numbered;
  numbered.name_of = NumberNames(
      old_count + new_list.size(), std::max(old_count, new_list.size()),
      [&](std::size_t i) {
        return i < old_count ? old_list[i]->name : new_list[i - old_count]->name;
      },
      &numbered.names);
  return numbered;
}

Pairing PairSymbols(const std::vector<const MapSymbol*>& old_list,
                    const std::vector<std::uint32_t>& old_holders,
                    const std::vector<const MapSymbol*>& new_list,
                    const std::vector<std::uint32_t>& new_holders) {
  return PairSymbols(NumberBoth(old_list, new_list), old_list, old_holders, new_list, new_holders);
}

Pairing PairSymbols(const NumberedNames& numbered, const std::vector<const MapSymbol*>& old_list,
                    const std::vector<std::uint32_t>& old_holders,
                    const std::vector<const MapSymbol*>& new_list,
                    const std::vector<std::uint32_t>& new_holders) {
  std::size_t old_count = old_list.size(), names = numbered.names;
  Side old_side{old_list, old_holders, numbered.name_of.data()};
  Side new_side{new_list, new_holders, numbered.name_of.data() + old_count};
  // A name that occurs once in each map pairs by name alone; so does one that occurs in one
  // map only (it has no partner).
  std::vector<std::uint32_t> in_old(names, 0), in_new(names, 0), old_of_name(names, kNone);
  for (std::uint32_t i = 0; i < old_count; ++i) {
    ++in_old[old_side.name_of[i]];
    old_of_name[old_side.name_of[i]] = i;
  }
  for (std::size_t i = 0; i < new_list.size(); ++i) ++in_new[new_side.name_of[i]];
  // The repeated names numbered apart, so that each side's groups are counted in a short array.
  std::vector<std::uint32_t> repeated_of(names, kNone);
  std::size_t repeated = 0;
  for (std::size_t n = 0; n < names; ++n) {
    if (in_old[n] > 1 || in_new[n] > 1) repeated_of[n] = static_cast<std::uint32_t>(repeated++);
  }

  Pairing pairing;
  pairing.partners.assign(new_list.size(), kNone);
  pairing.old_paired.assign(old_count, false);
  for (std::size_t i = 0; i < new_list.size(); ++i) {
    std::uint32_t name = new_side.name_of[i];
    if (repeated_of[name] == kNone && in_old[name] == 1) pairing.partners[i] = old_of_name[name];
  }
  // The two maps' groups are made at once, the old map's on a thread of its own.
  Groups old_groups, new_groups;
  auto group_old = [&] { old_groups = GroupRepeated(old_side, repeated_of, repeated); };
  {
    std::jthread grouping = RunBeside(group_old);
    new_groups = GroupRepeated(new_side, repeated_of, repeated);
  }
  for (std::size_t g = 0; g < repeated; ++g) {
    std::uint32_t a = old_groups.start[g], a_end = old_groups.start[g + 1];
    std::uint32_t b = new_groups.start[g], b_end = new_groups.start[g + 1];
    while (a < a_end && b < b_end) {
      const Who &x = old_groups.entries[a], &y = new_groups.entries[b];
      if (x.Key() < y.Key()) {
        ++a;
      } else if (y.Key() < x.Key()) {
        ++b;
      } else {
        pairing.partners[y.index] = x.index;
        ++a;
        ++b;
      }
    }
  }
  for (std::uint32_t partner : pairing.partners) {
    if (partner != kNone) pairing.old_paired[partner] = true;
  }
  return pairing;
}

}  // namespace k8writers
