// SPDX-License-Identifier: MIT
// The matching behind mapsyms diff: every record of two maps paired by name with the record of
// the other map that is the same occurrence of that name, in file order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "maps.h"
#include "symbol_pairing.h"

using k8writers::Change;
using k8writers::kAdded;
using k8writers::kMoved;
using k8writers::kNoPartner;
using k8writers::kRemoved;
using k8writers::kSame;

struct Entry {
  std::uint32_t partner = kNoPartner;  // the matched record in the other file
  std::uint32_t occurrence = 0;        // which occurrence of its name in its file, from 1
  Change change = kSame;
  bool repeated = false;  // the name occurs more than once in either file
};

// records[0, old_end) are OLD's, the rest NEW's. An entry for every record: OLD's kSame, kMoved
// or kRemoved, NEW's kSame or kAdded, with their partners.
std::vector<Entry> PairByName(const RecordList& records, std::size_t old_end);
