// SPDX-License-Identifier: MIT
#include "records/address_index.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

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

// A buffer given back beyond its first count elements (kept as it is where the system will not).
template <class T>
Buffer<T> Shrunk(Buffer<T> buffer, std::size_t count) {
  void* smaller = std::realloc(buffer.get(), (count == 0 ? 1 : count) * sizeof(T));
  if (smaller == nullptr) return buffer;
  buffer.release();
  return Buffer<T>(static_cast<T*>(smaller));
}

// The first of the entries [from, to) whose value is next or more: found by steps that double,
// then halve, so that a part is crossed without reading each of its entries.
std::size_t PartEnd(const Entry* entry, std::size_t from, std::size_t to, std::uint64_t next) {
  std::size_t low = from, step = 1;  // every entry before low lies below next
  while (low + step <= to && entry[low + step - 1].value < next) {
    low += step;
    step *= 2;
  }
  std::size_t high = std::min(low + step, to);  // entry[high - 1] is next or more, or high == to
  while (low < high) {
    std::size_t middle = low + (high - low) / 2;
    if (entry[middle].value < next) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
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
  index->entry = Shrunk(std::move(entries), distinct);
  index->entries = distinct;
  if (!index->Divide()) return nullptr;
  return index.release();
}

bool AddressIndex::Divide() {
  int part_bits = 0;  // about one part for every four to eight entries, at most 2^16
  while (part_bits < kMostPartBits && (std::size_t{8} << part_bits) <= entries) ++part_bits;
  width_bits = 32 - part_bits;
  std::size_t parts = std::size_t{1} << part_bits;
  part = NewBuffer<Part>(parts + 1);
  // Room for the most the finer tables can take (a crowded part of n entries takes at most
  // n / 2 + 1 places), given back once they are made.
  fine = NewBuffer<std::uint32_t>(entries / 2 + parts + 1);
  if (!part || !fine) return false;
  std::size_t position = 0;
  for (std::size_t at = 0; at < parts; ++at) {
    auto begin = static_cast<std::uint32_t>(position);
    position = PartEnd(entry.get(), position, entries, std::uint64_t{at + 1} << width_bits);
    auto end = static_cast<std::uint32_t>(position);
    part[at] = {begin, static_cast<std::uint32_t>(fine_size)};
    if (end - begin > kCrowded) {
      // The part's entries are still in the caches: their slices are found now, each slice's
      // entries counted and then added up (no branch that varies with the values).
      int bits = FineBitsOf(end - begin, width_bits);
      std::uint32_t slices = 1u << bits;
      std::uint64_t within = (std::uint64_t{1} << width_bits) - 1;
      std::uint32_t* starts = &fine[fine_size];
      std::memset(starts, 0, (slices + 1) * sizeof(std::uint32_t));
      starts[0] = begin;
      for (std::uint32_t in = begin; in < end; ++in) {
        ++starts[((entry[in].value & within) >> (width_bits - bits)) + 1];
      }
      for (std::uint32_t slice = 1; slice <= slices; ++slice) starts[slice] += starts[slice - 1];
      fine_size += slices + 1;
    }
  }
  part[parts] = {static_cast<std::uint32_t>(position), static_cast<std::uint32_t>(fine_size)};
  fine = Shrunk(std::move(fine), fine_size + 1);
  return true;
}

// Three stages ahead of the lookup made now: a part asked for 16 addresses ahead, its slice 8
// ahead (reading the part), the slice's entries 4 ahead (reading the slice); the symbol found
// now asked for, for the caller.
constexpr std::size_t kPartAhead = 16, kSliceAhead = 8, kEntriesAhead = 4;

std::size_t AddressIndex::FindMany(const MapSymbol* symbols, const std::uint32_t* addresses,
                                   std::size_t n, std::uint32_t max_offset,
                                   const MapSymbol** results) const {
  const Reader read = Read();
  std::size_t found = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (i + kPartAhead < n) read.FetchPart(addresses[i + kPartAhead]);
    if (i + kSliceAhead < n) read.FetchSlice(addresses[i + kSliceAhead]);
    if (i + kEntriesAhead < n) read.FetchEntries(addresses[i + kEntriesAhead]);
    std::size_t after = read.After(addresses[i]);
    bool hit = after > 0 && addresses[i] - read.entry[after - 1].value <= max_offset;
    const MapSymbol* symbol = hit ? &symbols[read.entry[after - 1].symbol] : nullptr;
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
  const Reader read = Read();
  std::size_t found = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (i + kPartAhead < n) read.FetchPart(addresses[i + kPartAhead]);
    if (i + kSliceAhead < n) read.FetchSlice(addresses[i + kSliceAhead]);
    if (i + kEntriesAhead < n) read.FetchEntries(addresses[i + kEntriesAhead]);
    std::size_t after = read.After(addresses[i]);
    std::uint32_t offset = after > 0 ? addresses[i] - read.entry[after - 1].value : 0;
    bool hit = after > 0 && offset <= max_offset;
    indices[i] = hit ? read.entry[after - 1].symbol : kNoSymbol;
    offsets[i] = hit ? offset : 0;
    found += hit ? 1 : 0;
  }
  return found;
}

}  // namespace k8map
