// SPDX-License-Identifier: MIT
// Names numbered from 0 in order of first occurrence, for pairing the symbols of two maps by
// name. An open-addressed table: a map of millions of symbols makes millions of names, one
// allocation each in a node-based map.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

namespace k8writers {

class NameNumbers {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  // Room for about expected names; the table grows past them.
  explicit NameNumbers(std::size_t expected) {
    std::size_t capacity = 16;
    while (capacity < 2 * expected) capacity *= 2;  // at most half full: a probe ends soon
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
  }

  static std::size_t Hash(const char* name) { return std::hash<std::string_view>{}(name); }

  // The slot a name of this hash is looked for first: asked for ahead of its turn, since a
  // table of millions of slots is read at random and nearly every first probe misses the cache.
  void Expect(std::size_t hash) const { Prefetch(&slots_[hash & mask_]); }

  std::uint32_t Number(const char* name, std::size_t hash) {
    if (2 * (texts_.size() + 1) > slots_.size()) Grow();
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

  std::size_t size() const { return texts_.size(); }

 private:
  static void Prefetch(const void* at) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(at);
#else
    (void)at;
#endif
  }
  struct Slot {
    std::uint32_t hash = 0;  // the low half of the name's hash: its slot in any table below 2^32
    std::uint32_t number = kNone;
  };
  void Grow() {
    std::vector<Slot> old(slots_.size() * 2, Slot{});
    old.swap(slots_);
    mask_ = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.number == kNone) continue;
      std::size_t at = slot.hash & mask_;
      while (slots_[at].number != kNone) at = (at + 1) & mask_;
      slots_[at] = slot;
    }
  }
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::vector<const char*> texts_;
};

// Each name's number, names read in order through name_at(i) for i in [0, count), about
// expected of them distinct; *names is how many distinct names there are. Each slot is asked for
// a few names ahead of its turn.
template <typename NameAt>
std::vector<std::uint32_t> NumberNames(std::size_t count, std::size_t expected, NameAt name_at,
                                       std::size_t* names) {
  NameNumbers numbers(expected);
  constexpr std::size_t kAhead = 16;  // a power of two: the hashes ahead are kept in a ring
  std::size_t ahead[kAhead];
  for (std::size_t i = 0; i < count && i < kAhead; ++i) ahead[i] = NameNumbers::Hash(name_at(i));
  std::vector<std::uint32_t> name_of(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t hash = ahead[i % kAhead];
    name_of[i] = numbers.Number(name_at(i), hash);
    if (i + kAhead < count) {
      ahead[i % kAhead] = NameNumbers::Hash(name_at(i + kAhead));
      numbers.Expect(ahead[i % kAhead]);
    }
  }
  *names = numbers.size();
  return name_of;
}

}  // namespace k8writers
