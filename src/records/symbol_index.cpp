#include "records/symbol_index.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "records/large_pages.h"
#include "scanner/symbol_kind.h"

namespace k8map {

namespace {

constexpr int kBucketBits = 16;
constexpr std::size_t kBuckets = std::size_t{1} << (32 - kBucketBits);
constexpr std::size_t kMostIndexed = 0xFFFFFFFEu;  // symbol numbers fit 32 bits, plus one

struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};
template <class T>
using Buffer = std::unique_ptr<T[], FreeDeleter>;

template <class T>
Buffer<T> NewBuffer(std::size_t count) {
  if (count > static_cast<std::size_t>(-1) / sizeof(T)) return nullptr;
  return Buffer<T>(static_cast<T*>(std::malloc(count == 0 ? sizeof(T) : count * sizeof(T))));
}

// A name's hash, eight bytes a step (a name is hashed for every symbol when the index is made).
std::uint32_t HashName(const char* name) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15u;
  std::size_t length = std::strlen(name);
  std::uint64_t hash = length * kMultiplier;
  for (; length >= 8; length -= 8, name += 8) {
    std::uint64_t word;
    std::memcpy(&word, name, 8);
    hash = (hash ^ word) * kMultiplier;
    hash ^= hash >> 32;
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, name, length);
  hash = (hash ^ tail) * kMultiplier;
  return static_cast<std::uint32_t>(hash >> 32);
}

void Prefetch(const void* p) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

}  // namespace

// Open addressing over slots of a name's hash and its symbol's number plus one (0: empty).
struct SymbolIndexes::NameIndex {
  struct Slot {
    std::uint32_t hash;
    std::uint32_t symbol;
  };
  Buffer<Slot> slot;
  std::size_t mask = 0;

  // Where name is, or the empty slot where it would go.
  std::size_t Find(const MapSymbol* symbols, const char* name, std::uint32_t h) const {
    std::size_t i = h & mask;
    while (slot[i].symbol != 0 &&
           (slot[i].hash != h || std::strcmp(symbols[slot[i].symbol - 1].name, name) != 0)) {
      i = (i + 1) & mask;
    }
    return i;
  }

  // The symbols in order, each name's first kept. Every slot is somewhere else in memory: the
  // slot of the symbol kAhead places on is asked for early, its hash made then.
  static NameIndex* Build(const MapSymbol* symbols, std::size_t count) {
    std::size_t slots = 16;
    while (slots < count + count / 2) slots *= 2;
    std::unique_ptr<NameIndex> index(new (std::nothrow) NameIndex);
    if (!index) return nullptr;
    index->slot = NewBuffer<Slot>(slots);
    if (!index->slot) return nullptr;
    AdviseLargePages(index->slot.get(), slots * sizeof(Slot));
    std::memset(index->slot.get(), 0, slots * sizeof(Slot));
    index->mask = slots - 1;
    constexpr std::size_t kAhead = 16;
    std::uint32_t hashes[kAhead];  // of symbols n to n + kAhead - 1, by n modulo kAhead
    for (std::size_t n = 0; n < kAhead && n < count; ++n) hashes[n] = HashName(symbols[n].name);
    for (std::size_t n = 0; n < count; ++n) {
      std::uint32_t h = hashes[n % kAhead];
      if (n + kAhead < count) {
        std::uint32_t later = HashName(symbols[n + kAhead].name);
        hashes[n % kAhead] = later;
        Prefetch(&index->slot[later & index->mask]);
      }
      std::size_t i = index->Find(symbols, symbols[n].name, h);
      if (index->slot[i].symbol != 0) continue;  // the first of a name stays
      index->slot[i] = {h, static_cast<std::uint32_t>(n + 1)};
    }
    return index.release();
  }
};

// The distinct values of the address symbols, ascending, each beside the first symbol that has
// it (so that the search's last read brings the answer with it); bucket_start[b] is the first
// position whose value's top bits are b or more.
struct SymbolIndexes::AddressIndex {
  struct Entry {
    std::uint32_t value;
    std::uint32_t symbol;
  };
  Buffer<Entry> entry;
  std::uint32_t bucket_start[kBuckets + 1];

  // One past the last position whose value is at or below address.
  std::size_t After(std::uint32_t address) const {
    std::uint32_t bucket = address >> kBucketBits;
    const Entry* base = entry.get() + bucket_start[bucket];
    std::size_t length = bucket_start[bucket + 1] - bucket_start[bucket];
    if (length > 0) {
      // Which half varies from address to address: a mask, not a branch, takes the step.
      while (length > 1) {
        std::size_t half = length / 2;
        base += half & (std::size_t{0} - static_cast<std::size_t>(base[half].value <= address));
        length -= half;
      }
      base += base->value <= address ? 1 : 0;
    }
    return static_cast<std::size_t>(base - entry.get());
  }

  static AddressIndex* Build(const MapSymbol* symbols, std::size_t count);
};

namespace {

using Entry = SymbolIndexes::AddressIndex::Entry;

// Radix digits of eleven bits (three passes cover a value): the counters and the places a pass
// writes to stay within the caches, as sixteen bits' 65,536 do not.
constexpr int kPasses = 3, kDigitBits = 11;
constexpr std::size_t kDigits = std::size_t{1} << kDigitBits;
static_assert(kPasses * kDigitBits >= 32);

std::size_t Digit(std::uint32_t value, int pass) {
  return (value >> (kDigitBits * pass)) & (kDigits - 1);
}

// The address symbols' entries in symbol order, with each pass's digits counted; the count.
std::size_t CollectEntries(const MapSymbol* symbols, std::size_t count, Entry* entries,
                           std::uint32_t (&counts)[kPasses][kDigits]) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (!IsAddressKind(symbols[i].kind)) continue;
    std::uint32_t value = symbols[i].value;
    entries[n++] = {value, static_cast<std::uint32_t>(i)};
    for (int pass = 0; pass < kPasses; ++pass) ++counts[pass][Digit(value, pass)];
  }
  return n;
}

// Sorts the entries by value, keeping their order among equal values, from entries to spare
// and back, pass by pass; the sorted entries end in spare (the passes are odd in number).
void SortByValue(Entry* entries, Entry* spare, std::size_t count,
                 std::uint32_t (&counts)[kPasses][kDigits]) {
  static_assert(kPasses % 2 == 1);
  for (int pass = 0; pass < kPasses; ++pass) {
    std::uint32_t start = 0;
    for (std::uint32_t& n : counts[pass]) {
      std::uint32_t here = n;
      n = start;
      start += here;
    }
    std::uint32_t* place = counts[pass];
    for (std::size_t i = 0; i < count; ++i) {
      spare[place[Digit(entries[i].value, pass)]++] = entries[i];
    }
    std::swap(entries, spare);
  }
}

}  // namespace

SymbolIndexes::AddressIndex* SymbolIndexes::AddressIndex::Build(const MapSymbol* symbols,
                                                              std::size_t count) {
  std::unique_ptr<AddressIndex> index(new (std::nothrow) AddressIndex);
  // Room for every symbol: only the address symbols' part is touched.
  Buffer<Entry> entries = NewBuffer<Entry>(count);
  Buffer<Entry> sorted = NewBuffer<Entry>(count);
  if (!index || !entries || !sorted) return nullptr;
  AdviseLargePages(entries.get(), count * sizeof(Entry));
  AdviseLargePages(sorted.get(), count * sizeof(Entry));
  std::uint32_t counts[kPasses][kDigits] = {};
  std::size_t addresses = CollectEntries(symbols, count, entries.get(), counts);
  SortByValue(entries.get(), sorted.get(), addresses, counts);
  entries.reset();
  // Of equal values, the first, in place.
  Entry* entry = sorted.get();
  std::size_t distinct = 0;
  for (std::size_t i = 0; i < addresses; ++i) {
    if (distinct > 0 && entry[distinct - 1].value == entry[i].value) continue;
    entry[distinct++] = entry[i];
  }
  index->entry = std::move(sorted);
  std::size_t position = 0;
  for (std::size_t bucket = 0; bucket <= kBuckets; ++bucket) {
    std::uint64_t low = std::uint64_t{bucket} << kBucketBits;
    while (position < distinct && entry[position].value < low) ++position;
    index->bucket_start[bucket] = static_cast<std::uint32_t>(position);
  }
  return index.release();
}

namespace {

// Builds an index under the lock, once: later callers find it made.
template <class Index>
Index* IndexOf(std::atomic<Index*>& slot, std::mutex& lock, const MapSymbol* symbols,
               std::size_t count) {
  Index* index = slot.load(std::memory_order_acquire);
  if (index != nullptr || count > kMostIndexed) return index;
  try {
    std::lock_guard<std::mutex> hold(lock);
    index = slot.load(std::memory_order_relaxed);
    if (index == nullptr) {
      index = Index::Build(symbols, count);
      slot.store(index, std::memory_order_release);
    }
  } catch (...) {  // the lock refused: the caller searches without an index
  }
  return index;
}

}  // namespace

const MapSymbol* SymbolIndexes::FindByName(const MapSymbol* symbols, std::size_t count,
                                           const char* name) const {
  if (name == nullptr || count == 0) return nullptr;
  if (const NameIndex* index = IndexOf(names_, build_lock_, symbols, count)) {
    std::uint32_t n = index->slot[index->Find(symbols, name, HashName(name))].symbol;
    return n != 0 ? &symbols[n - 1] : nullptr;
  }
  for (std::size_t n = 0; n < count; ++n) {
    if (std::strcmp(symbols[n].name, name) == 0) return &symbols[n];
  }
  return nullptr;
}

const MapSymbol* SymbolIndexes::FindByAddress(const MapSymbol* symbols, std::size_t count,
                                              std::uint32_t address) const {
  if (count == 0) return nullptr;
  if (const AddressIndex* index = IndexOf(addresses_, build_lock_, symbols, count)) {
    std::size_t after = index->After(address);
    return after > 0 ? &symbols[index->entry[after - 1].symbol] : nullptr;
  }
  const MapSymbol* best = nullptr;
  for (std::size_t n = 0; n < count; ++n) {
    const MapSymbol& s = symbols[n];
    if (IsAddressKind(s.kind) && s.value <= address && (best == nullptr || s.value > best->value)) {
      best = &s;
    }
  }
  return best;
}

void SymbolIndexes::Reset() {
  delete names_.exchange(nullptr);
  delete addresses_.exchange(nullptr);
}

}  // namespace k8map
