// SPDX-License-Identifier: MIT
#include "records/address_index.h"

#include <cstring>
#include <new>
#include <utility>

#include "pages/helper_thread.h"
#include "pages/page_supply.h"

namespace k8map {
namespace {

using Entry = AddressIndex::Entry;

// Radix digits of eleven bits (three passes cover a value): the counters and the places a pass
// writes to stay within the caches, as sixteen bits' 65,536 do not.
constexpr int kPasses = 3, kDigitBits = 11;
constexpr std::size_t kDigits = std::size_t{1} << kDigitBits;
static_assert(kPasses * kDigitBits >= 32 && kPasses % 2 == 1);

// Tables with fewer symbols than this are sorted by one thread: a second costs more there.
constexpr std::size_t kTwoHalvesFrom = std::size_t{1} << 16;

std::size_t Digit(std::uint32_t value, int pass) {
  return (value >> (kDigitBits * pass)) & (kDigits - 1);
}

using DigitCounts = std::uint32_t[kPasses][kDigits];

// Symbols [begin, end): the entries of those of the kinds indexed, sorted by value (their order
// kept among equal values) into spare + begin; entries + begin is their first place. Three passes,
// the digits of all three counted while the entries are gathered, in counts (24 KiB: not on a
// stack, which may be a host thread's small one).
struct Half {
  const MapSymbol* symbols;
  std::uint32_t kinds;  // a bit per kind indexed
  std::size_t begin, end;
  Entry* entries;
  Entry* spare;
  DigitCounts& counts;
  std::size_t count = 0;  // the address symbols

  void Sort() {
    std::memset(counts, 0, sizeof(DigitCounts));
    Entry* from = entries + begin;
    for (std::size_t i = begin; i < end; ++i) {
      if (((kinds >> symbols[i].kind) & 1u) == 0) continue;
      std::uint32_t value = symbols[i].value;
      from[count++] = {value, static_cast<std::uint32_t>(i)};
      for (int pass = 0; pass < kPasses; ++pass) ++counts[pass][Digit(value, pass)];
    }
    Entry* to = spare + begin;
    for (int pass = 0; pass < kPasses; ++pass) {
      std::uint32_t start = 0;
      for (std::uint32_t& n : counts[pass]) {
        std::uint32_t here = n;
        n = start;
        start += here;
      }
      std::uint32_t* place = counts[pass];
      for (std::size_t i = 0; i < count; ++i) to[place[Digit(from[i].value, pass)]++] = from[i];
      std::swap(from, to);
    }
  }

  static void Run(void* half) { static_cast<Half*>(half)->Sort(); }
};

// Both halves' sorted entries into out, the first half's first among equal values, each value
// once (its first symbol); returns how many.
std::size_t MergeDistinct(const Half& a, const Half& b, Entry* out) {
  const Entry *x = a.spare + a.begin, *x_end = x + a.count;
  const Entry *y = b.spare + b.begin, *y_end = y + b.count;
  std::size_t n = 0;
  auto put = [&](const Entry& e) {
    if (n == 0 || out[n - 1].value != e.value) out[n++] = e;
  };
  while (x < x_end && y < y_end) put(y->value < x->value ? *y++ : *x++);
  while (x < x_end) put(*x++);
  while (y < y_end) put(*y++);
  return n;
}

}  // namespace

AddressIndex* AddressIndex::Build(const MapSymbol* symbols, std::size_t count,
                                  std::uint32_t kinds) {
  std::unique_ptr<AddressIndex> index(new (std::nothrow) AddressIndex);
  // Room for every symbol: only the address symbols' part is touched.
  Buffer<Entry> entries = NewBuffer<Entry>(count);
  Buffer<Entry> spare = NewBuffer<Entry>(count);
  std::unique_ptr<DigitCounts[]> counts(new (std::nothrow) DigitCounts[2]);
  if (!index || !entries || !spare || !counts) return nullptr;
  AdviseLargePages(entries.get(), count * sizeof(Entry));
  AdviseLargePages(spare.get(), count * sizeof(Entry));
  std::size_t middle = count >= kTwoHalvesFrom ? count / 2 : count;
  Half first{symbols, kinds, 0, middle, entries.get(), spare.get(), counts[0]};
  Half second{symbols, kinds, middle, count, entries.get(), spare.get(), counts[1]};
  HelperThread helper;
  bool helped = middle < count && helper.Start(&Half::Run, &second, kSmallHelperStack);
  first.Sort();
  if (helped) {
    helper.Join();
  } else {
    second.Sort();
  }
  std::size_t distinct = MergeDistinct(first, second, entries.get());
  spare.reset();
  index->entry = std::move(entries);
  const Entry* entry = index->entry.get();
  std::size_t position = 0;
  for (std::size_t bucket = 0; bucket <= kBuckets; ++bucket) {
    std::uint64_t low = std::uint64_t{bucket} << kBucketBits;
    while (position < distinct && entry[position].value < low) ++position;
    index->bucket_start[bucket] = static_cast<std::uint32_t>(position);
  }
  return index.release();
}

// The part's start kPartAhead addresses ahead, the middle of its entries kEntriesAhead ahead
// (reading that start), the symbol found now for the caller.
std::size_t AddressIndex::FindMany(const MapSymbol* symbols, const std::uint32_t* addresses,
                                   std::size_t n, std::uint32_t max_offset,
                                   const MapSymbol** results) const {
  constexpr std::size_t kPartAhead = 16, kEntriesAhead = 8;
  std::size_t found = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (i + kPartAhead < n) Prefetch(&bucket_start[addresses[i + kPartAhead] >> kBucketBits]);
    if (i + kEntriesAhead < n) FetchAhead(addresses[i + kEntriesAhead]);
    const MapSymbol* symbol = Find(symbols, addresses[i], max_offset);
    if (symbol != nullptr) {
      Prefetch(symbol);
      ++found;
    }
    results[i] = symbol;
  }
  return found;
}

std::size_t AddressIndex::FindManyIndices(const std::uint32_t* addresses, std::size_t n,
                                          std::uint32_t max_offset, std::uint32_t* indices,
                                          std::uint32_t* offsets) const {
  constexpr std::size_t kPartAhead = 16, kEntriesAhead = 8;
  std::size_t found = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (i + kPartAhead < n) Prefetch(&bucket_start[addresses[i + kPartAhead] >> kBucketBits]);
    if (i + kEntriesAhead < n) FetchAhead(addresses[i + kEntriesAhead]);
    std::size_t after = After(addresses[i]);
    std::uint32_t offset = after > 0 ? addresses[i] - entry[after - 1].value : 0;
    bool hit = after > 0 && offset <= max_offset;
    indices[i] = hit ? entry[after - 1].symbol : kNoSymbol;
    offsets[i] = hit ? offset : 0;
    found += hit ? 1 : 0;
  }
  return found;
}

}  // namespace k8map
