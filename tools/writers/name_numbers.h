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

// Each name's number, names read in order through name_at(i) for i in [0, count); *names is how
// many distinct names there are. The hashes are worked out first and the slots asked for ahead.
template <typename NameAt>
std::vector<std::uint32_t> NumberNames(std::size_t count, NameAt name_at, std::size_t* names) {
  NameNumbers numbers(count);
  std::vector<std::size_t> hashes(count);
  for (std::size_t i = 0; i < count; ++i) hashes[i] = NameNumbers::Hash(name_at(i));
  std::vector<std::uint32_t> name_of(count);
  constexpr std::size_t kAhead = 16;
  for (std::size_t i = 0; i < count; ++i) {
    if (i + kAhead < count) numbers.Expect(hashes[i + kAhead]);
    name_of[i] = numbers.Number(name_at(i), hashes[i]);
  }
  *names = numbers.size();
  return name_of;
}

}  // namespace k8writers
