// SPDX-License-Identifier: MIT
// The matching behind mapsyms diff: every record of two maps paired by name with the record of
// the other map that is the same occurrence of that name, in file order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "large_pages.h"
#include "maps.h"

enum Change : std::uint8_t { kSame, kRemoved, kAdded, kMoved };

constexpr std::uint32_t kNoPartner = 0xFFFFFFFFu;

// Eight bytes per record of both files. Plain data: made unwritten, each written once.
struct Entry {
  Entry() = default;
  Entry(Change c, std::uint32_t other, std::uint32_t nth, bool twice)
      : partner(other), occurrence(nth), change(c), repeated(twice) {}
  std::uint32_t partner;          // the matched record in the other file, or kNoPartner
  std::uint32_t occurrence : 29;  // which occurrence of its name in its file
  std::uint32_t change : 2;       // a Change
  std::uint32_t repeated : 1;     // the name occurs more than once in either file
};

// records[0, old_end) are OLD's, the rest NEW's. Makes an entry for every record: OLD's kSame,
// kMoved or kRemoved, NEW's kSame or kAdded, with their partners. With parallel, two threads
// share the work.
void PairByName(const RecordList& records, std::size_t old_end, bool parallel,
                LargeVector<Entry>& entries);
