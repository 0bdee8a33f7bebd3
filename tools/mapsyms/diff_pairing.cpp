// SPDX-License-Identifier: MIT
// Pairing by name: each distinct name gets a number, then OLD's records are read in file order
// and each takes the first of NEW's records of its name that no earlier one took, so the n-th
// occurrence in OLD is paired with the n-th in NEW.
#include "diff_pairing.h"

#include "name_numbers.h"

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

}  // namespace

std::vector<Entry> PairByName(const RecordList& records, std::size_t old_end) {
  std::size_t count = records.size(), names = 0;
  std::vector<std::uint32_t> name_of = k8writers::NumberNames(
      count, count, [&](std::size_t i) { return records[i].name; }, &names);
  // Per name: its count in each file, and NEW's next record of it not yet taken (NEW's records
  // of a name chained in file order through next_new).
  std::vector<std::uint32_t> in_old(names), in_new(names);
  std::vector<std::uint32_t> untaken(names, kNone), next_new(count, kNone);
  for (std::size_t i = count; i-- > old_end;) {
    next_new[i] = untaken[name_of[i]];
    untaken[name_of[i]] = static_cast<std::uint32_t>(i);
    ++in_new[name_of[i]];
  }
  for (std::size_t i = 0; i < old_end; ++i) ++in_old[name_of[i]];
  auto repeated = [&](std::uint32_t name) { return in_old[name] > 1 || in_new[name] > 1; };

  std::vector<Entry> entries(count);
  std::vector<std::uint32_t> seen(names);
  for (std::size_t i = 0; i < old_end; ++i) {
    std::uint32_t name = name_of[i], occurrence = ++seen[name], partner = untaken[name];
    auto index = static_cast<std::uint32_t>(i);
    if (partner == kNone) {
      entries[i] = {kNoPartner, occurrence, kRemoved, repeated(name)};
      continue;
    }
    untaken[name] = next_new[partner];
    bool same = records[partner].value == records[i].value;
    entries[i] = {partner, occurrence, same ? kSame : kMoved, repeated(name)};
    entries[partner] = {index, occurrence, kSame, repeated(name)};
  }
  // NEW's records that no OLD record took, numbered on from those that were.
  seen.assign(names, 0);
  for (std::size_t i = old_end; i < count; ++i) {
    std::uint32_t name = name_of[i], occurrence = ++seen[name];
    if (entries[i].partner == kNoPartner) {
      entries[i] = {kNoPartner, occurrence, kAdded, repeated(name)};
    }
  }
  return entries;
}
