// SPDX-License-Identifier: MIT
// The lookup of a symbol of some kinds (the address symbols, Addr. and loc., or any set) by
// address: the distinct values of those symbols, ascending, each beside the first symbol that has
// it (so that the search's last read brings the answer with it), and where each 64 KiB of the
// address space starts among them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kestrum8_map.h"
#include "records/index_buffers.h"

namespace k8map {

struct AddressIndex {
  static constexpr int kBucketBits = 16;
  static constexpr std::size_t kBuckets = std::size_t{1} << (32 - kBucketBits);

  struct Entry {
    std::uint32_t value;
    std::uint32_t symbol;
  };
  Buffer<Entry> entry;
  std::uint32_t bucket_start[kBuckets + 1];  // the first position whose top bits are b or more

  // The index of those of count symbols (at most 2^32 - 2) whose kind's bit is set in kinds,
  // or null when memory is refused. A large table's entries are sorted in two halves at once,
  // one on a helper thread.
  static AddressIndex* Build(const MapSymbol* symbols, std::size_t count,
                             std::uint32_t kinds = K8MAP_KINDS_ADDRESS);

  // The first symbol of the value at or nearest below address, or null; null too when that
  // value lies more than max_offset below (told from the entry, without reading the symbol).
  const MapSymbol* Find(const MapSymbol* symbols, std::uint32_t address,
                        std::uint32_t max_offset = K8MAP_NO_LIMIT) const {
    std::size_t after = After(address);
    bool found = after > 0 && address - entry[after - 1].value <= max_offset;
    return found ? &symbols[entry[after - 1].symbol] : nullptr;
  }
  // The same for n addresses into results; the number found. Each lookup asks ahead for what
  // later ones read, so that their memory is fetched at once.
  std::size_t FindMany(const MapSymbol* symbols, const std::uint32_t* addresses, std::size_t n,
                       std::uint32_t max_offset, const MapSymbol** results) const;
  // The same answered from the entries alone, without reading a symbol: each symbol's number in
  // table order (kNoSymbol for none) and the address's offset from its value (0 for none).
  std::size_t FindManyIndices(const std::uint32_t* addresses, std::size_t n,
                              std::uint32_t max_offset, std::uint32_t* indices,
                              std::uint32_t* offsets) const;
  static constexpr std::uint32_t kNoSymbol = 0xFFFFFFFFu;

 private:
  // Asks for what the lookup of address will read: its part's start and the middle and
  // quarters of its entries.
  void FetchAhead(std::uint32_t address) const {
    std::uint32_t bucket = address >> kBucketBits;
    std::uint32_t start = bucket_start[bucket], length = bucket_start[bucket + 1] - start;
    Prefetch(&entry[start + length / 2]);
    Prefetch(&entry[start + length / 4]);
    Prefetch(&entry[start + length - length / 4]);
  }

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
};

}  // namespace k8map
