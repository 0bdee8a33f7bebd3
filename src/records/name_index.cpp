#include "records/name_index.h"

#include <cstring>
#include <new>

#include "records/large_pages.h"

namespace k8map {
namespace {

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

}  // namespace

std::size_t NameIndex::SlotOf(const MapSymbol* symbols, const char* name,
                              std::uint32_t hash) const {
  std::size_t i = hash & mask;
  while (slot[i].symbol != 0 &&
         (slot[i].hash != hash || std::strcmp(symbols[slot[i].symbol - 1].name, name) != 0)) {
    i = (i + 1) & mask;
  }
  return i;
}

// The symbols in order, each name's first kept. Every slot is somewhere else in memory: the slot
// of the symbol kAhead places on is asked for early, its hash made then.
NameIndex* NameIndex::Build(const MapSymbol* symbols, std::size_t count) {
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
    std::uint32_t hash = hashes[n % kAhead];
    if (n + kAhead < count) {
      std::uint32_t later = HashName(symbols[n + kAhead].name);
      hashes[n % kAhead] = later;
      Prefetch(&index->slot[later & index->mask]);
    }
    std::size_t i = index->SlotOf(symbols, symbols[n].name, hash);
    if (index->slot[i].symbol != 0) continue;  // the first of a name stays
    index->slot[i] = {hash, static_cast<std::uint32_t>(n + 1)};
  }
  return index.release();
}

const MapSymbol* NameIndex::Find(const MapSymbol* symbols, const char* name) const {
  std::uint32_t n = slot[SlotOf(symbols, name, HashName(name))].symbol;
  return n != 0 ? &symbols[n - 1] : nullptr;
}

}  // namespace k8map
