// SPDX-License-Identifier: MIT
#include "records/name_index.h"

#include <cstring>
#include <new>

#include "common/name_hash.h"
#include "pages/page_supply.h"

namespace k8map {
namespace {

// The name's hash as the slots keep it.
std::uint32_t SlotHash(const char* name) {
  return static_cast<std::uint32_t>(HashName(name) >> 32);
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
  index->next = NewBuffer<std::uint32_t>(count);
  Buffer<std::uint32_t> last = NewBuffer<std::uint32_t>(slots);  // each name's latest, plus one
  if (!index->slot || !index->next || !last) return nullptr;
  AdviseLargePages(index->slot.get(), slots * sizeof(Slot));
  std::memset(index->slot.get(), 0, slots * sizeof(Slot));
  std::memset(index->next.get(), 0, count * sizeof(std::uint32_t));
  index->mask = slots - 1;
  constexpr std::size_t kAhead = 16;
  std::uint32_t hashes[kAhead];  // of symbols n to n + kAhead - 1, by n modulo kAhead
  for (std::size_t n = 0; n < kAhead && n < count; ++n) hashes[n] = SlotHash(symbols[n].name);
  for (std::size_t n = 0; n < count; ++n) {
    std::uint32_t hash = hashes[n % kAhead];
    if (n + kAhead < count) {
      std::uint32_t later = SlotHash(symbols[n + kAhead].name);
      hashes[n % kAhead] = later;
      Prefetch(&index->slot[later & index->mask]);
    }
    std::size_t i = index->SlotOf(symbols, symbols[n].name, hash);
    auto number = static_cast<std::uint32_t>(n + 1);
    if (index->slot[i].symbol != 0) {  // the first of a name stays; this one follows the latest
      index->next[last[i] - 1] = number;
    } else {
      index->slot[i] = {hash, number};
    }
    last[i] = number;
  }
  return index.release();
}

const MapSymbol* NameIndex::Find(const MapSymbol* symbols, const char* name) const {
  std::uint32_t n = slot[SlotOf(symbols, name, SlotHash(name))].symbol;
  return n != 0 ? &symbols[n - 1] : nullptr;
}

}  // namespace k8map
