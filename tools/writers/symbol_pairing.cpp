// SPDX-License-Identifier: MIT
#include "symbol_pairing.h"

#include <algorithm>
#include <tuple>
#include <unordered_map>

#include "name_numbers.h"

namespace k8writers {

namespace {

constexpr std::uint32_t kNone = kNoPartner;

bool IsLabel(const MapSymbol& s) {
  return s.kind == K8MAP_KIND_LOC;
}

// Who a symbol of a repeated name is: its name; a held label also its holder's name and
// occurrence and its order among the labels of its name in that holder; anything else its
// order among the rest of its name.
struct Key {
  std::uint32_t name = 0, holder_name = kNone, holder_occurrence = 0, order = 0;
  auto Tied() const { return std::tie(name, holder_name, holder_occurrence, order); }
  bool operator<(const Key& other) const { return Tied() < other.Tied(); }
  bool operator==(const Key& other) const { return Tied() == other.Tied(); }
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

// The keys of a side's symbols whose names are repeated, with their indexes, sorted.
std::vector<std::pair<Key, std::uint32_t>> RepeatedKeys(const Side& side,
                                                        const std::vector<bool>& repeated,
                                                        std::size_t names) {
  std::vector<std::uint32_t> occurrence(side.list.size(), 0), seen(names, 0);
  for (std::size_t i = 0; i < side.list.size(); ++i) {
    if (!Held(side, i)) occurrence[i] = ++seen[side.name_of[i]];
  }
  std::unordered_map<std::uint64_t, std::uint32_t> in_holder;  // (holder, name) -> labels seen
  std::vector<std::pair<Key, std::uint32_t>> keys;
  for (std::uint32_t i = 0; i < side.list.size(); ++i) {
    std::uint32_t name = side.name_of[i];
    if (!repeated[name]) continue;
    Key key;
    key.name = name;
    if (Held(side, i)) {
      std::uint32_t holder = side.holders[i];
      key.holder_name = side.name_of[holder];
      key.holder_occurrence = repeated[key.holder_name] ? occurrence[holder] : 0;
      key.order = ++in_holder[(std::uint64_t{holder} << 32) | name];
    } else {
      key.order = occurrence[i];
    }
    keys.emplace_back(key, i);
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

}  // namespace

std::vector<std::uint32_t> Holders(const std::vector<const MapSymbol*>& symbols,
                                   const MemoryLayout& layout) {
  std::vector<std::uint32_t> holders(symbols.size(), kNone);
  for (const MemoryRegion& region : layout.regions) {
    const std::vector<std::uint64_t>& order = layout.buckets[BucketOf(region)];
    std::uint32_t holder = kNone;
    for (std::size_t at = region.begin; at < region.end;) {
      std::size_t same = at;  // the symbols at one value: [at, same)
      auto value = static_cast<std::uint32_t>(order[at] >> 32);
      while (same < region.end && static_cast<std::uint32_t>(order[same] >> 32) == value) ++same;
      for (std::size_t i = at; i < same; ++i) {
        auto index = static_cast<std::uint32_t>(order[i]);
        if (!IsLabel(*symbols[index])) {
          holder = index;  // the first object at a value holds the labels there
          break;
        }
      }
      for (std::size_t i = at; i < same; ++i) {
        auto index = static_cast<std::uint32_t>(order[i]);
        holders[index] = IsLabel(*symbols[index]) ? holder : index;
      }
      at = same;
    }
  }
  return holders;
}

Pairing PairSymbols(const std::vector<const MapSymbol*>& old_list,
                    const std::vector<std::uint32_t>& old_holders,
                    const std::vector<const MapSymbol*>& new_list,
                    const std::vector<std::uint32_t>& new_holders) {
  std::size_t old_count = old_list.size(), names = 0;
  std::vector<std::uint32_t> name_of = NumberNames(
      old_count + new_list.size(),
      [&](std::size_t i) {
        return i < old_count ? old_list[i]->name : new_list[i - old_count]->name;
      },
      &names);
  Side old_side{old_list, old_holders, name_of.data()};
  Side new_side{new_list, new_holders, name_of.data() + old_count};
  // A name that occurs once in each map pairs by name alone; so does one that occurs in one
  // map only (it has no partner).
  std::vector<std::uint32_t> in_old(names, 0), in_new(names, 0), old_of_name(names, kNone);
  for (std::uint32_t i = 0; i < old_count; ++i) {
    ++in_old[old_side.name_of[i]];
    old_of_name[old_side.name_of[i]] = i;
  }
  for (std::size_t i = 0; i < new_list.size(); ++i) ++in_new[new_side.name_of[i]];
  std::vector<bool> repeated(names);
  for (std::size_t n = 0; n < names; ++n) repeated[n] = in_old[n] > 1 || in_new[n] > 1;

  Pairing pairing;
  pairing.partners.assign(new_list.size(), kNone);
  pairing.old_paired.assign(old_count, false);
  for (std::size_t i = 0; i < new_list.size(); ++i) {
    std::uint32_t name = new_side.name_of[i];
    if (!repeated[name] && in_old[name] == 1) pairing.partners[i] = old_of_name[name];
  }
  std::vector<std::pair<Key, std::uint32_t>> old_keys = RepeatedKeys(old_side, repeated, names);
  std::vector<std::pair<Key, std::uint32_t>> new_keys = RepeatedKeys(new_side, repeated, names);
  for (std::size_t a = 0, b = 0; a < old_keys.size() && b < new_keys.size();) {
    if (old_keys[a].first < new_keys[b].first) {
      ++a;
    } else if (new_keys[b].first < old_keys[a].first) {
      ++b;
    } else {
      pairing.partners[new_keys[b++].second] = old_keys[a++].second;
    }
  }
  for (std::uint32_t partner : pairing.partners) {
    if (partner != kNone) pairing.old_paired[partner] = true;
  }
  return pairing;
}

}  // namespace k8writers
