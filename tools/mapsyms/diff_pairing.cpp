// SPDX-License-Identifier: MIT
// Pairing by name: each distinct name gets a number, then OLD's records are read in file order
// and each takes the first of NEW's records of its name that no earlier one took, so the n-th
// occurrence in OLD is paired with the n-th in NEW.
#include "diff_pairing.h"

#include <cstring>
#include <functional>
#include <string_view>

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// The names of the records, numbered from 0 in order of first occurrence. An open-addressed
// table: a map of millions of records makes millions of names, one allocation each in a
// node-based map.
class NameNumbers {
 public:
  explicit NameNumbers(std::size_t most) {
    std::size_t capacity = 16;
    while (capacity < 2 * most) capacity *= 2;  // at most half full: a probe ends soon
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
  }

  static std::size_t Hash(const char* name) { return std::hash<std::string_view>{}(name); }

  // The slot a name of this hash is looked for first: asked for ahead of its turn, since a
  // table of millions of slots is read at random and nearly every first probe misses the cache.
  void Expect(std::size_t hash) const {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(&slots_[hash & mask_]);
#else
    (void)hash;
#endif
  }

  std::uint32_t Number(const char* name, std::size_t hash) {
    for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
      Slot& slot = slots_[at];
      if (slot.number == kNone) {
        slot = {static_cast<std::uint32_t>(hash), static_cast<std::uint32_t>(texts_.size())};
        texts_.push_back(name);
        return slot.number;
      }
      if (slot.hash == static_cast<std::uint32_t>(hash) &&
          std::strcmp(texts_[slot.number], name) == 0) {
        return slot.number;
      }
    }
  }

  std::size_t size() const {
    return texts_.size();
  }

 private:
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t number = kNone;
  };
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::vector<const char*> texts_;
};

// Each record's name number; *names is how many distinct names there are. The table and the
// hashes are gone before the pairing makes its own arrays.
std::vector<std::uint32_t> NumberNames(const RecordList& records, std::size_t* names) {
  std::size_t count = records.size();
  NameNumbers numbers(count);
  std::vector<std::size_t> hashes(count);
  for (std::size_t i = 0; i < count; ++i) hashes[i] = NameNumbers::Hash(records[i].name);
  std::vector<std::uint32_t> name_of(count);
  constexpr std::size_t kAhead = 16;
  for (std::size_t i = 0; i < count; ++i) {
    if (i + kAhead < count) numbers.Expect(hashes[i + kAhead]);
    name_of[i] = numbers.Number(records[i].name, hashes[i]);
  }
  *names = numbers.size();
  return name_of;
}

}  // namespace

std::vector<Entry> PairByName(const RecordList& records, std::size_t old_end) {
  std::size_t count = records.size(), names = 0;
  std::vector<std::uint32_t> name_of = NumberNames(records, &names);
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
