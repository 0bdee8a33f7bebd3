#include "records/symbol_index.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

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

// FNV-1a over the name's bytes.
std::uint32_t HashName(const char* name) {
  std::uint32_t hash = 2166136261u;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
    hash = (hash ^ *p) * 16777619u;
  }
  return hash;
}

}  // namespace

// Open addressing: slot i is hash[i] and symbol[i], the symbol's number plus one (0: empty).
struct SymbolIndexes::NameIndex {
  Buffer<std::uint32_t> hash;
  Buffer<std::uint32_t> symbol;
  std::size_t mask = 0;

  // Where name is, or the empty slot where it would go.
  std::size_t Slot(const MapSymbol* symbols, const char* name, std::uint32_t h) const {
    std::size_t i = h & mask;
    while (symbol[i] != 0 && (hash[i] != h || std::strcmp(symbols[symbol[i] - 1].name, name) != 0)) {
      i = (i + 1) & mask;
    }
    return i;
  }

  static NameIndex* Build(const MapSymbol* symbols, std::size_t count) {
    std::size_t slots = 16;
    while (slots < count + count / 2) slots *= 2;
    std::unique_ptr<NameIndex> index(new (std::nothrow) NameIndex);
    if (!index) return nullptr;
    index->hash = NewBuffer<std::uint32_t>(slots);
    index->symbol = NewBuffer<std::uint32_t>(slots);
    if (!index->hash || !index->symbol) return nullptr;
    std::memset(index->symbol.get(), 0, slots * sizeof(std::uint32_t));
    index->mask = slots - 1;
    for (std::size_t n = 0; n < count; ++n) {
      std::uint32_t h = HashName(symbols[n].name);
      std::size_t i = index->Slot(symbols, symbols[n].name, h);
      if (index->symbol[i] != 0) continue;  // the first of a name stays
      index->hash[i] = h;
      index->symbol[i] = static_cast<std::uint32_t>(n + 1);
    }
    return index.release();
  }
};

// The distinct values of the address symbols, ascending, each with the first symbol that has
// it; bucket_start[b] is the first position whose value's top bits are b or more.
struct SymbolIndexes::AddressIndex {
  Buffer<std::uint32_t> value;
  Buffer<std::uint32_t> symbol;
  std::uint32_t bucket_start[kBuckets + 1];

  // One past the last position whose value is at or below address.
  std::size_t After(std::uint32_t address) const {
    std::uint32_t bucket = address >> kBucketBits;
    const std::uint32_t* base = value.get() + bucket_start[bucket];
    std::size_t length = bucket_start[bucket + 1] - bucket_start[bucket];
    if (length > 0) {
      // Which half varies from address to address: a mask, not a branch, takes the step.
      while (length > 1) {
        std::size_t half = length / 2;
        base += half & (std::size_t{0} - static_cast<std::size_t>(base[half] <= address));
        length -= half;
      }
      base += *base <= address ? 1 : 0;
    }
    return static_cast<std::size_t>(base - value.get());
  }

  static AddressIndex* Build(const MapSymbol* symbols, std::size_t count);
};

namespace {

struct ValueOf {
  std::uint32_t value;
  std::uint32_t symbol;
};

// Stable by value: two passes over sixteen bits each, from pairs in symbol order.
void SortByValue(ValueOf* pairs, ValueOf* spare, std::size_t count, std::uint32_t* counts) {
  for (int shift = 0; shift < 32; shift += kBucketBits) {
    std::memset(counts, 0, kBuckets * sizeof(std::uint32_t));
    for (std::size_t i = 0; i < count; ++i) ++counts[(pairs[i].value >> shift) & (kBuckets - 1)];
    std::uint32_t start = 0;
    for (std::size_t d = 0; d < kBuckets; ++d) {
      std::uint32_t n = counts[d];
      counts[d] = start;
      start += n;
    }
    for (std::size_t i = 0; i < count; ++i) {
      spare[counts[(pairs[i].value >> shift) & (kBuckets - 1)]++] = pairs[i];
    }
    std::swap(pairs, spare);
  }
}

}  // namespace

SymbolIndexes::AddressIndex* SymbolIndexes::AddressIndex::Build(const MapSymbol* symbols,
                                                              std::size_t count) {
  std::size_t addresses = 0;
  for (std::size_t n = 0; n < count; ++n) addresses += IsAddressKind(symbols[n].kind) ? 1 : 0;
  std::unique_ptr<AddressIndex> index(new (std::nothrow) AddressIndex);
  Buffer<ValueOf> pairs = NewBuffer<ValueOf>(addresses);
  Buffer<ValueOf> spare = NewBuffer<ValueOf>(addresses);
  if (!index || !pairs || !spare) return nullptr;
  std::size_t at = 0;
  for (std::size_t n = 0; n < count; ++n) {
    if (IsAddressKind(symbols[n].kind)) {
      pairs[at++] = {symbols[n].value, static_cast<std::uint32_t>(n)};
    }
  }
  // Two passes leave the sorted pairs where they started.
  SortByValue(pairs.get(), spare.get(), addresses, index->bucket_start);
  spare.reset();
  index->value = NewBuffer<std::uint32_t>(addresses);
  index->symbol = NewBuffer<std::uint32_t>(addresses);
  if (!index->value || !index->symbol) return nullptr;
  std::size_t distinct = 0;
  for (std::size_t i = 0; i < addresses; ++i) {
    if (distinct > 0 && index->value[distinct - 1] == pairs[i].value) continue;
    index->value[distinct] = pairs[i].value;
    index->symbol[distinct++] = pairs[i].symbol;
  }
  std::size_t position = 0;
  for (std::size_t bucket = 0; bucket <= kBuckets; ++bucket) {
    std::uint64_t low = std::uint64_t{bucket} << kBucketBits;
    while (position < distinct && index->value[position] < low) ++position;
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
    std::uint32_t n = index->symbol[index->Slot(symbols, name, HashName(name))];
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
    return after > 0 ? &symbols[index->symbol[after - 1]] : nullptr;
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
