// SPDX-License-Identifier: MIT
// Where a map's symbols lie in memory, and how large each is as far as the map tells: the one
// rule that export, the report and the size views share.
//
// A symbol with an address (Addr., loc., Func., Var.) lies in an image when its value falls inside
// one; else in a region: a run of values of one group, code (Addr., loc., Func.) or data (Var.),
// with no step between neighbouring values larger than the gap and no image between them. Inside
// an image code and data form one sequence, as a program's flash holds both.
//
// An object (Addr., Func., Var.) ends where the next object of its region begins at a higher
// value; objects at one value share that size. A label (loc.) inside an object does not end it;
// the label's own size runs to the next label or object. The last of a region has no known size:
// the map does not say where it ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kestrum8_map.h"

namespace k8writers {

constexpr std::uint32_t kNoRegion = UINT32_MAX;
constexpr std::int64_t kUnknownSize = -1;

// Memory whose bytes the user has, at an address: an image.
struct ImageSpan {
  std::uint32_t address = 0;
  std::uint64_t size = 0;
};

enum class RegionGroup : std::uint8_t { kCode, kData, kImage };

struct MemoryRegion {
  RegionGroup group = RegionGroup::kCode;
  std::uint32_t number = 0;  // code and data: within the group, from 1; an image: its index
  std::uint32_t first = 0, last = 0;  // the lowest and highest value of its symbols
  std::size_t begin = 0, end = 0;     // its symbols in its bucket's order
  std::uint32_t count() const { return static_cast<std::uint32_t>(end - begin); }
};

struct MemoryLayout {
  // The symbols of each bucket (code, data, then each image) by value, map order among equal
  // values: the value in the high half of a key, the symbol's index in the low half.
  std::vector<std::vector<std::uint64_t>> buckets;
  std::vector<MemoryRegion> regions;  // code regions by value, data regions by value, images
  // Each symbol's region (kNoRegion for a kind without an address): RegionOf tells it.
  std::uint32_t RegionOf(std::size_t index, const MapSymbol& symbol) const;
  std::vector<std::uint32_t> region_of;  // ordered layouts: per symbol; empty when cut by pages
  std::vector<std::uint32_t> region_of_page;  // cut by pages: each group's 64 KiB pages' regions
  std::vector<ImageSpan> images;
  std::uint32_t first_image_region = 0;
  std::vector<std::int64_t> sizes;  // per symbol: its size in bytes, or kUnknownSize (if asked)
  std::vector<bool> labels;         // per symbol: whether it is a label (loc.), where sizes are
};

constexpr std::size_t kCodeBucket = 0, kDataBucket = 1, kFirstImageBucket = 2;

// A code or data region's name as every view shows it: "code 1", "data 2".
std::string RegionName(bool data, std::uint32_t number);

// The bucket that holds a region's symbols.
std::size_t BucketOf(const MemoryRegion& region);

constexpr unsigned kAddressKinds =
    K8MAP_KIND_MASK(K8MAP_KIND_ADDR) | K8MAP_KIND_MASK(K8MAP_KIND_LOC) |
    K8MAP_KIND_MASK(K8MAP_KIND_FUNC) | K8MAP_KIND_MASK(K8MAP_KIND_VAR);

// Tested without a branch: kinds come in no order a processor could predict.
inline bool HasAddress(std::uint8_t kind) {
  return kind < 32 && ((kAddressKinds >> kind) & 1) != 0;
}
inline bool IsDataKind(std::uint8_t kind) {
  return kind == K8MAP_KIND_VAR;
}

// What a layout is asked to work out: each symbol's region (code and data regions may then hold
// no order: begin == end); the regions in value order with each symbol's region and size; or
// the regions in value order with each symbol's size alone (RegionOf not kept). Sizes are empty
// where not asked for.
enum class LayoutDetail { kRegions, kSizes, kOrderedSizes };

// The layout of the symbols, regions cut at steps larger than gap and around the images (which
// must not overlap).
MemoryLayout LayOutMemory(const std::vector<const MapSymbol*>& symbols, std::uint32_t gap,
                          const std::vector<ImageSpan>& images = {},
                          LayoutDetail detail = LayoutDetail::kSizes);

}  // namespace k8writers
