// SPDX-License-Identifier: MIT
// What became of a symbol between two maps, and which symbol of the old map each of the new is:
// the one pairing and the one set of change names that mapsyms diff, diff --sizes, the report
// and the Python package share.
#pragma once

#include <cstdint>
#include <vector>

#include "kestrum8_map.h"
#include "memory_layout.h"

namespace k8writers {

enum Change : std::uint8_t { kSame, kAdded, kRemoved, kMoved, kGrew, kShrank };
inline constexpr const char* kChangeNames[] = {"same",  "added", "removed",
                                               "moved", "grew",  "shrank"};
inline constexpr std::size_t kChangeCount = sizeof kChangeNames / sizeof kChangeNames[0];

constexpr std::uint32_t kNoPartner = 0xFFFFFFFFu;

// Per symbol of a layout's symbols, the object that holds it: an object (Addr., Func., Var.)
// holds itself, a label (loc.) the object at or below it in its region (kNoPartner when none
// is), a symbol without an address none.
std::vector<std::uint32_t> Holders(const std::vector<const MapSymbol*>& symbols,
                                   const MemoryLayout& layout);

struct Pairing {
  std::vector<std::uint32_t> partners;  // per new symbol: the old symbol it is, or kNoPartner
  std::vector<bool> old_paired;         // per old symbol: whether a new one is it
};

// The names of two maps' symbols numbered together (from 0, in order of first occurrence, the
// old map's first): the step of the pairing that needs no layout.
struct NumberedNames {
  std::vector<std::uint32_t> name_of;  // the old map's symbols, then the new map's
  std::size_t names = 0;               // how many distinct names
};
NumberedNames NumberBoth(const std::vector<const MapSymbol*>& old_list,
                         const std::vector<const MapSymbol*>& new_list);

// Pairs two maps' symbols by name. A name that occurs once in each map pairs by name alone; a
// repeated one (statics, labels in many modules) pairs a label by the object that holds it and
// its order among the labels of that name in it, so that a label that moves with its function
// pairs with itself, and anything else by its order among the rest of that name.
Pairing PairSymbols(const std::vector<const MapSymbol*>& old_list,
                    const std::vector<std::uint32_t>& old_holders,
                    const std::vector<const MapSymbol*>& new_list,
                    const std::vector<std::uint32_t>& new_holders);
// The same with the names numbered already.
Pairing PairSymbols(const NumberedNames& numbered, const std::vector<const MapSymbol*>& old_list,
                    const std::vector<std::uint32_t>& old_holders,
                    const std::vector<const MapSymbol*>& new_list,
                    const std::vector<std::uint32_t>& new_holders);

}  // namespace k8writers
