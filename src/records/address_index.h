// SPDX-License-Identifier: MIT
// The lookup of a symbol of some kinds (the address symbols, Addr. and loc., or any set) by
// address: the distinct values of those symbols, ascending, each beside the first symbol that has
// it (so that the search's last read brings the answer with it), and where each part of the
// address space (64 KiB, or larger for few values) starts among them; a crowded part is cut
// finer, so that a lookup reads a few entries wherever the map packs its values.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "kestrum8_map.h"
#include "records/index_buffers.h"

namespace k8map {

struct AddressIndex {
  // The address space is cut into at most 2^16 equal parts (64 KiB each), fewer for fewer
  // entries, so that the parts' table stays small beside them.
  static constexpr int kMostPartBits = 16;
  // A part with more entries than this has a finer table of its own.
  static constexpr std::uint32_t kCrowded = 16;

  struct Entry {
    std::uint32_t value;
    std::uint32_t symbol;
  };
  // Each part of the address space: its first position among the entries, and where its finer
  // table begins (crowded parts only).
  struct Part {
    std::uint32_t start;
    std::uint32_t fine;
  };
  Buffer<Entry> entry;
  std::size_t entries = 0;  // distinct values
  int width_bits = 32;      // each part spans 2^width_bits addresses
  Buffer<Part> part;        // 2^(32 - width_bits) parts, then the end
  // The finer tables of crowded parts, one after another: a part of n entries is cut into
  // 2^FineBits(n) equal slices of its span, about four entries each however the values crowd:
  // each slice's first position, then the part's end.
  Buffer<std::uint32_t> fine;
  std::size_t fine_size = 0;

  // How many bits of an address below its part's (of width_bits) choose a slice of a crowded
  // part of n entries.
  static int FineBitsOf(std::uint32_t n, int width_bits) {
    return std::min(static_cast<int>(std::bit_width((n - 1) / 4)), width_bits);
  }

  // What the index takes in memory, in bytes.
  std::size_t Bytes() const {
    return sizeof(AddressIndex) + entries * sizeof(Entry) +
           ((std::size_t{1} << (32 - width_bits)) + 1) * sizeof(Part) +
           fine_size * sizeof(std::uint32_t);
  }

  // The index of those of count symbols (at most 2^32 - 2) whose kind's bit is set in kinds,
  // or null when memory is refused. A large table's entries are sorted in two halves at once,
  // one on a helper thread.
  static AddressIndex* Build(const MapSymbol* symbols, std::size_t count,
                             std::uint32_t kinds = K8MAP_KINDS_ADDRESS);

  // The first symbol of the value at or nearest below address, or null; null too when that
  // value lies more than max_offset below (told from the entry, without reading the symbol).
  const MapSymbol* Find(const MapSymbol* symbols, std::uint32_t address,
                        std::uint32_t max_offset = K8MAP_NO_LIMIT) const {
    std::size_t after = Read().After(address);
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
  // The parts and the crowded parts' finer tables of the entries; false when memory for them is
  // refused.
  bool Divide();

  // The index's reading side by value, so that a loop of lookups keeps it in registers.
  struct Reader {
    const Entry* entry;
    const Part* part;
    const std::uint32_t* fine;
    int width_bits;

    struct Span {
      std::uint32_t begin, end;
    };

    std::size_t PartOf(std::uint32_t address) const {
      return static_cast<std::size_t>(std::uint64_t{address} >> width_bits);
    }
    // The slice of a crowded part of n entries that holds address.
    std::uint32_t SliceOf(std::uint32_t address, std::uint32_t n) const {
      std::uint64_t within = std::uint64_t{address} & ((std::uint64_t{1} << width_bits) - 1);
      return static_cast<std::uint32_t>(within >> (width_bits - FineBitsOf(n, width_bits)));
    }

    // The entries among which address's answer lies: its part's, or of a crowded part its
    // slice's. Those before begin lie below address, those from end on above it.
    Span Locate(std::uint32_t address) const {
      const Part& here = part[PartOf(address)];
      std::uint32_t end = (&here)[1].start, n = end - here.start;
      if (n <= kCrowded) return {here.start, end};
      const std::uint32_t* at = &fine[here.fine + SliceOf(address, n)];
      return {at[0], at[1]};
    }

    // Lookups a few addresses ahead ask, stage by stage, for what each will read: its part;
    // then its slice (or its entries' middle); then its slice's entries.
    void FetchPart(std::uint32_t address) const { Prefetch(&part[PartOf(address)]); }
    void FetchSlice(std::uint32_t address) const {
      const Part& here = part[PartOf(address)];
      std::uint32_t n = (&here)[1].start - here.start;
      if (n <= kCrowded) {
        Prefetch(&entry[here.start + n / 2]);
        return;
      }
      Prefetch(&fine[here.fine + SliceOf(address, n)]);
    }
    void FetchEntries(std::uint32_t address) const {
      Span span = Locate(address);
      Prefetch(&entry[span.begin + (span.end - span.begin) / 2]);
    }

    // One past the last position whose value is at or below address.
    std::size_t After(std::uint32_t address) const {
      Span span = Locate(address);
      const Entry* base = entry + span.begin;
      std::size_t length = span.end - span.begin;
      if (length > 0) {
        // Which half varies from address to address: a mask, not a branch, takes the step.
        while (length > 1) {
          std::size_t half = length / 2;
          base += half & (std::size_t{0} - static_cast<std::size_t>(base[half].value <= address));
          length -= half;
        }
        base += base->value <= address ? 1 : 0;
      }
      return static_cast<std::size_t>(base - entry);
    }
  };
  Reader Read() const { return {entry.get(), part.get(), fine.get(), width_bits}; }
};

}  // namespace k8map
