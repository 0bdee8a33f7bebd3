// SPDX-License-Identifier: MIT
#include "memory_layout.h"

#include <algorithm>

namespace k8writers {

namespace {

std::uint32_t ValueOf(std::uint64_t key) {
  return static_cast<std::uint32_t>(key >> 32);
}
std::uint32_t IndexOf(std::uint64_t key) {
  return static_cast<std::uint32_t>(key);
}

// Keys sorted by their high half with a radix sort on its two 16-bit halves: stable, so that
// keys in index order stay in it among equal values.
void SortByValue(std::vector<std::uint64_t>& keys) {
  if (keys.size() < 2) return;
  std::vector<std::uint64_t> sorted(keys.size());
  for (int shift : {32, 48}) {
    std::vector<std::size_t> start(0x10001, 0);
    for (std::uint64_t key : keys) ++start[((key >> shift) & 0xFFFF) + 1];
    for (std::size_t digit = 1; digit < start.size(); ++digit) start[digit] += start[digit - 1];
    for (std::uint64_t key : keys) sorted[start[(key >> shift) & 0xFFFF]++] = key;
    keys.swap(sorted);
  }
}

// The image that holds value, or images.size().
std::size_t ImageHolding(std::uint32_t value, const std::vector<ImageSpan>& images) {
  for (std::size_t i = 0; i < images.size(); ++i) {
    if (value >= images[i].address && value - images[i].address < images[i].size) return i;
  }
  return images.size();
}

// Whether an image begins between two neighbouring values outside every image.
bool ImageBetween(std::uint32_t low, std::uint32_t high, const std::vector<ImageSpan>& images) {
  for (const ImageSpan& image : images) {
    if (image.address > low && image.address < high) return true;
  }
  return false;
}

// Cuts a code or data bucket into regions.
void CutRegions(MemoryLayout& layout, std::size_t bucket, std::uint32_t gap,
                const std::vector<ImageSpan>& images) {
  const std::vector<std::uint64_t>& order = layout.buckets[bucket];
  std::uint32_t number = 0;
  for (std::size_t at = 0; at < order.size();) {
    MemoryRegion region;
    region.group = bucket == kCodeBucket ? RegionGroup::kCode : RegionGroup::kData;
    region.number = ++number;
    region.begin = at;
    for (++at; at < order.size(); ++at) {
      std::uint32_t low = ValueOf(order[at - 1]), high = ValueOf(order[at]);
      if (high - low > gap || ImageBetween(low, high, images)) break;
    }
    region.end = at;
    layout.regions.push_back(region);
  }
}

// Each symbol's size within its region: objects run to the next object at a higher value,
// labels to the next label or object; the last of each kind has none known.
void SizeRegion(MemoryLayout& layout, const std::vector<const MapSymbol*>& symbols,
                const MemoryRegion& region) {
  const std::vector<std::uint64_t>& order = layout.buckets[BucketOf(region)];
  // Walking down from the top: the lowest value above the current one that holds an object,
  // and that holds any symbol.
  std::int64_t next_object = -1, next_any = -1;
  for (std::size_t at = region.end; at > region.begin;) {
    std::size_t same = at;  // the symbols at one value: [at, same)
    std::uint32_t value = ValueOf(order[at - 1]);
    while (at > region.begin && ValueOf(order[at - 1]) == value) --at;
    bool object_here = false;
    for (std::size_t i = at; i < same; ++i) {
      bool label = symbols[IndexOf(order[i])]->kind == K8MAP_KIND_LOC;
      std::int64_t end = label ? next_any : next_object;
      layout.sizes[IndexOf(order[i])] = end < 0 ? kUnknownSize : end - value;
      object_here = object_here || !label;
    }
    next_any = value;
    if (object_here) next_object = value;
  }
}

}  // namespace

bool HasAddress(std::uint8_t kind) {
  return kind == K8MAP_KIND_ADDR || kind == K8MAP_KIND_LOC || kind == K8MAP_KIND_FUNC ||
         kind == K8MAP_KIND_VAR;
}

bool IsDataKind(std::uint8_t kind) {
  return kind == K8MAP_KIND_VAR;
}

std::size_t BucketOf(const MemoryRegion& region) {
  switch (region.group) {
    case RegionGroup::kCode:
      return kCodeBucket;
    case RegionGroup::kData:
      return kDataBucket;
    case RegionGroup::kImage:
      break;
  }
  return kFirstImageBucket + region.number;
}

MemoryLayout LayOutMemory(const std::vector<const MapSymbol*>& symbols, std::uint32_t gap,
                          const std::vector<ImageSpan>& images) {
  MemoryLayout layout;
  layout.buckets.resize(kFirstImageBucket + images.size());
  layout.region_of.assign(symbols.size(), kNoRegion);
  layout.sizes.assign(symbols.size(), kUnknownSize);
  for (std::uint32_t i = 0; i < symbols.size(); ++i) {
    const MapSymbol& s = *symbols[i];
    if (!HasAddress(s.kind)) continue;
    std::size_t image = ImageHolding(s.value, images);
    std::size_t bucket = image < images.size() ? kFirstImageBucket + image
                         : IsDataKind(s.kind)  ? kDataBucket
                                               : kCodeBucket;
    layout.buckets[bucket].push_back((std::uint64_t{s.value} << 32) | i);
  }
  for (std::vector<std::uint64_t>& bucket : layout.buckets) SortByValue(bucket);
  CutRegions(layout, kCodeBucket, gap, images);
  CutRegions(layout, kDataBucket, gap, images);
  for (std::size_t image = 0; image < images.size(); ++image) {
    const std::vector<std::uint64_t>& order = layout.buckets[kFirstImageBucket + image];
    MemoryRegion region;
    region.group = RegionGroup::kImage;
    region.number = static_cast<std::uint32_t>(image);
    region.end = order.size();
    layout.regions.push_back(region);
  }
  for (std::uint32_t r = 0; r < layout.regions.size(); ++r) {
    MemoryRegion& region = layout.regions[r];
    const std::vector<std::uint64_t>& order = layout.buckets[BucketOf(region)];
    if (region.begin == region.end) continue;
    region.first = ValueOf(order[region.begin]);
    region.last = ValueOf(order[region.end - 1]);
    for (std::size_t at = region.begin; at < region.end; ++at)
      layout.region_of[IndexOf(order[at])] = r;
    SizeRegion(layout, symbols, region);
  }
  return layout;
}

}  // namespace k8writers
