// SPDX-License-Identifier: MIT
// Pairing by name. Every record's name is hashed once, in file order, and the records are then
// dealt into buckets by the hash's top bits, file order kept within each bucket. A bucket holds
// about a thousand records, so the table that pairs its names stays in the processor's cache:
// one table over millions of names would be a cache miss at every step. With two threads, each
// hashes and deals half of the records, then pairs the buckets of one half of the hash space.
#include "diff_pairing.h"

#include <cstring>
#include <utility>
#include <vector>

#include "both_halves.h"
#include "common/name_hash.h"
#include "common/prefetch.h"

namespace {

using k8map::Prefetch;
using k8map::PrefetchToWrite;

constexpr std::uint32_t kNone = 0xFFFFFFFFu;
// About this many records a bucket, or fewer.
constexpr std::size_t kBucketRecords = 1024;

// A record of a bucket, with the low half of its name's hash (the bucket is the high bits).
struct Member {
  std::uint32_t index;  // in the records
  std::uint32_t hash;
};

// Until its entry is made, a record's entry holds its name's hash: fresh memory is costly
// (a fault and a cleared page at first touch), and the two are never needed at once.
static_assert(sizeof(Entry) == sizeof(std::uint64_t));
void KeepHash(Entry& entry, std::uint64_t hash) {
  std::memcpy(&entry, &hash, sizeof hash);
}
std::uint64_t KeptHash(const Entry& entry) {
  std::uint64_t hash;
  std::memcpy(&hash, &entry, sizeof hash);
  return hash;
}

// Pairs the records of one bucket at a time; its tables are kept from bucket to bucket.
class BucketMatcher {
 public:
  BucketMatcher(const RecordList& records, std::size_t old_end, LargeVector<Entry>& entries)
      : records_(records), old_end_(old_end), entries_(entries) {}

  // members: the bucket's records, in file order.
  void Match(const Member* members, std::size_t n) {
    std::size_t capacity = 16;
    while (capacity < 2 * n) capacity *= 2;  // at most half full: a probe ends soon
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
    names_.clear();
    next_.assign(n, kNone);
    // Each record, its name and its entry are somewhere else in memory: asked for ahead of
    // their turn.
    constexpr std::size_t kRecordAhead = 16, kNameAhead = 8;
    for (std::size_t k = 0; k < n; ++k) {
      if (k + kRecordAhead < n) {
        Prefetch(&records_[members[k + kRecordAhead].index]);
        PrefetchToWrite(&entries_[members[k + kRecordAhead].index]);
      }
      if (k + kNameAhead < n) Prefetch(records_[members[k + kNameAhead].index].name);
      std::uint32_t i = members[k].index;
      Name& name = names_[Insert(members[k].hash, records_[i].name)];
      int file = i < old_end_ ? 0 : 1;
      auto position = static_cast<std::uint32_t>(k);
      if (name.head[file] == kNone) {
        name.head[file] = position;
      } else {
        next_[name.tail[file]] = position;
      }
      name.tail[file] = position;
      ++name.count[file];
    }
    Pair(members);
  }

 private:
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t id = kNone;  // index in names_; kNone for an empty slot
  };
  // A name of the bucket, its occurrences in each file chained in file order (positions in the
  // bucket, linked through next_).
  struct Name {
    const char* text;  // of its first occurrence
    std::uint32_t head[2] = {kNone, kNone};
    std::uint32_t tail[2] = {kNone, kNone};
    std::uint32_t count[2] = {0, 0};
  };

  // The name's index in names_, added when new.
  std::uint32_t Insert(std::uint32_t hash, const char* text) {
    for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
      Slot& slot = slots_[at];
      if (slot.id == kNone) {
        slot = {hash, static_cast<std::uint32_t>(names_.size())};
        names_.push_back({text});
        return slot.id;
      }
      if (slot.hash == hash && std::strcmp(names_[slot.id].text, text) == 0) return slot.id;
    }
  }

  // Each name's occurrences in both files in pairs, in file order; the rest removed or added.
  void Pair(const Member* members) {
    for (const Name& name : names_) {
      bool repeated = name.count[0] > 1 || name.count[1] > 1;
      std::uint32_t o = name.head[0], n = name.head[1], occurrence = 1;
      for (; o != kNone; o = next_[o], ++occurrence) {
        std::uint32_t old_index = members[o].index;
        if (n == kNone) {
          entries_[old_index] = {kRemoved, kNoPartner, occurrence, repeated};
          continue;
        }
        std::uint32_t new_index = members[n].index;
        Change change = records_[new_index].value == records_[old_index].value ? kSame : kMoved;
        entries_[old_index] = {change, new_index, occurrence, repeated};
        entries_[new_index] = {kSame, old_index, occurrence, repeated};
        n = next_[n];
      }
      for (; n != kNone; n = next_[n], ++occurrence) {
        entries_[members[n].index] = {kAdded, kNoPartner, occurrence, repeated};
      }
    }
  }

  const RecordList& records_;
  std::size_t old_end_;
  LargeVector<Entry>& entries_;
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::vector<Name> names_;
  std::vector<std::uint32_t> next_;
};

}  // namespace

void PairByName(const RecordList& records, std::size_t old_end, bool parallel,
                LargeVector<Entry>& entries) {
  std::size_t count = records.size();
  int bits = parallel ? 1 : 0;
  while ((count >> bits) > kBucketRecords) ++bits;
  std::size_t buckets = std::size_t{1} << bits;
  auto bucket_of = [bits](std::uint64_t hash) {
    return bits == 0 ? std::size_t{0} : static_cast<std::size_t>(hash >> (64 - bits));
  };
  auto half = [count](int h) {
    return h == 0 ? std::pair<std::size_t, std::size_t>{0, count / 2}
                  : std::pair<std::size_t, std::size_t>{count / 2, count};
  };
  // Each half's records hashed and counted by bucket.
  entries.resize(count);
  std::vector<std::size_t> counts[2] = {std::vector<std::size_t>(buckets),
                                        std::vector<std::size_t>(buckets)};
  BothHalves(parallel, [&](int h) {
    for (auto [i, end] = half(h); i < end; ++i) {
      std::uint64_t hash = k8map::HashName(records[i].name);
      KeepHash(entries[i], hash);
      ++counts[h][bucket_of(hash)];
    }
  });
  // The buckets one after another, each with the first half's records before the second's:
  // file order holds within a bucket.
  std::vector<std::size_t> starts(buckets + 1), cursors[2] = {counts[0], counts[1]};
  for (std::size_t b = 0, at = 0; b < buckets; ++b) {
    starts[b] = cursors[0][b] = at;
    cursors[1][b] = at += counts[0][b];
    starts[b + 1] = at += counts[1][b];
  }
  LargeVector<Member> members(count);
  BothHalves(parallel, [&](int h) {
    for (auto [i, end] = half(h); i < end; ++i) {
      std::uint64_t hash = KeptHash(entries[i]);
      members[cursors[h][bucket_of(hash)]++] = {static_cast<std::uint32_t>(i),
                                                static_cast<std::uint32_t>(hash)};
    }
  });
  // Each thread the buckets of one half of the hash space; a record's entry is written once.
  BothHalves(parallel, [&](int h) {
    BucketMatcher matcher(records, old_end, entries);
    std::size_t first = h == 0 ? 0 : buckets / 2, end = h == 0 ? buckets / 2 : buckets;
    for (std::size_t b = first; b < end; ++b) {
      matcher.Match(members.data() + starts[b], starts[b + 1] - starts[b]);
    }
  });
}
