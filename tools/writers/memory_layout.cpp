// SPDX-License-Identifier: MIT
#include "memory_layout.h"

#include <algorithm>
#include <utility>

#include "large_pages.h"

namespace k8writers {

namespace {

std::uint32_t ValueOf(std::uint64_t key) {
  return static_cast<std::uint32_t>(key >> 32);
}
std::uint32_t IndexOf(std::uint64_t key) {
  return static_cast<std::uint32_t>(key);
}

// Keys sorted by their high half with a radix sort on three digits of 11, 11 and 10 bits (their
// counters stay in the first-level cache): stable, so that keys in index order stay in it among
// equal values. A digit that every key shares is not sorted on.
void SortByValue(std::vector<std::uint64_t>& keys) {
  if (keys.size() < 2) return;
  constexpr int kBits = 11, kPasses = 3;
  constexpr std::size_t kDigits = std::size_t{1} << kBits;
  auto digit = [](std::uint64_t key, int pass) {
    return static_cast<std::size_t>((key >> (32 + kBits * pass)) & (kDigits - 1));
  };
  std::vector<std::size_t> start(kPasses * kDigits, 0);
  for (std::uint64_t key : keys) {
    for (int pass = 0; pass < kPasses; ++pass) ++start[pass * kDigits + digit(key, pass)];
  }
  std::vector<std::uint64_t> sorted;
  SizeOnLargePages(sorted, keys.size());
  for (int pass = 0; pass < kPasses; ++pass) {
    std::size_t* at = start.data() + pass * kDigits;
    if (at[digit(keys[0], pass)] == keys.size()) continue;
    for (std::size_t d = 0, sum = 0; d < kDigits; ++d) sum += std::exchange(at[d], sum);
    for (std::uint64_t key : keys) sorted[at[digit(key, pass)]++] = key;
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

// The bucket of a symbol with an address: its image's, else its group's.
std::size_t SymbolBucket(const MapSymbol& s, const std::vector<ImageSpan>& images) {
  std::size_t image = ImageHolding(s.value, images);
  return image < images.size() ? kFirstImageBucket + image
         : IsDataKind(s.kind)  ? kDataBucket
                               : kCodeBucket;
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
void SizeRegion(MemoryLayout& layout, const std::vector<bool>& labels, const MemoryRegion& region) {
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
      bool label = labels[IndexOf(order[i])];
      std::int64_t end = label ? next_any : next_object;
      layout.sizes[IndexOf(order[i])] = end < 0 ? kUnknownSize : end - value;
      object_here = object_here || !label;
    }
    next_any = value;
    if (object_here) next_object = value;
  }
}

// The keys of the buckets from first on, each made at its size: counted first, since a large
// bucket grown step by step would be written over fresh memory twice. With labels, which
// symbols are labels, read in the same pass.
void FillBuckets(MemoryLayout& layout, const std::vector<const MapSymbol*>& symbols,
                 const std::vector<ImageSpan>& images, std::size_t first,
                 std::vector<bool>* labels) {
  std::vector<std::size_t> sizes(layout.buckets.size(), 0);
  auto bucket_of = [&](const MapSymbol& s) {
    return HasAddress(s.kind) ? SymbolBucket(s, images) : layout.buckets.size();
  };
  if (labels != nullptr) labels->resize(symbols.size());
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    const MapSymbol& s = *symbols[i];
    std::size_t bucket = bucket_of(s);
    if (bucket >= first && bucket < sizes.size()) ++sizes[bucket];
    if (labels != nullptr) (*labels)[i] = s.kind == K8MAP_KIND_LOC;
  }
  for (std::size_t b = first; b < sizes.size(); ++b) {
    layout.buckets[b].reserve(sizes[b]);
    AdviseLargePages(layout.buckets[b].data(), sizes[b] * sizeof(std::uint64_t));
  }
  for (std::uint32_t i = 0; i < symbols.size(); ++i) {
    std::size_t bucket = bucket_of(*symbols[i]);
    if (bucket >= first && bucket < sizes.size()) {
      layout.buckets[bucket].push_back((std::uint64_t{symbols[i]->value} << 32) | i);
    }
  }
}

// A 64 KiB page's lowest and highest value of one group.
struct PageSpan {
  std::uint32_t low = UINT32_MAX, high = 0;
  bool Used() const { return low <= high; }
};
constexpr std::size_t kPages = std::size_t{1} << 16;

// The code and data regions cut from each 64 KiB page's lowest and highest value, without
// sorting: with a gap of at least a page's span, values within a page never part. The code and
// data buckets stay empty, and these regions hold no order (begin == end). False, with nothing
// done, where an image begins between two values of one page: sorting decides then.
bool CutByPages(MemoryLayout& layout, const std::vector<const MapSymbol*>& symbols,
                std::uint32_t gap, const std::vector<ImageSpan>& images) {
  if (gap < 0xFFFF) return false;
  std::vector<PageSpan> pages(2 * kPages);
  auto page_of = [&](std::size_t bucket, std::uint32_t value) -> PageSpan& {
    return pages[bucket * kPages + (value >> 16)];
  };
  for (const MapSymbol* s : symbols) {
    std::size_t bucket = HasAddress(s->kind) ? SymbolBucket(*s, images) : kFirstImageBucket;
    if (bucket >= kFirstImageBucket) continue;
    PageSpan& page = page_of(bucket, s->value);
    page.low = std::min(page.low, s->value);
    page.high = std::max(page.high, s->value);
  }
  for (std::size_t bucket : {kCodeBucket, kDataBucket}) {
    for (const ImageSpan& image : images) {
      const PageSpan& page = page_of(bucket, image.address);
      if (page.Used() && page.low < image.address && image.address <= page.high) return false;
    }
  }
  std::vector<std::uint32_t>& region_of_page = layout.region_of_page;
  region_of_page.assign(2 * kPages, kNoRegion);
  for (std::size_t bucket : {kCodeBucket, kDataBucket}) {
    std::uint32_t number = 0, previous = 0;
    for (std::size_t at = 0; at < kPages; ++at) {
      const PageSpan& page = pages[bucket * kPages + at];
      if (!page.Used()) continue;
      if (number == 0 || page.low - previous > gap || ImageBetween(previous, page.low, images)) {
        MemoryRegion region;
        region.group = bucket == kCodeBucket ? RegionGroup::kCode : RegionGroup::kData;
        region.number = ++number;
        region.first = page.low;
        layout.regions.push_back(region);
      }
      layout.regions.back().last = page.high;
      region_of_page[bucket * kPages + at] = static_cast<std::uint32_t>(layout.regions.size() - 1);
      previous = page.high;
    }
  }
  return true;
}

}  // namespace

std::string RegionName(bool data, std::uint32_t number) {
  return (data ? "data " : "code ") + std::to_string(number);
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

std::uint32_t MemoryLayout::RegionOf(std::size_t index, const MapSymbol& symbol) const {
  if (!region_of.empty()) return region_of[index];
  if (!HasAddress(symbol.kind) || region_of_page.empty()) return kNoRegion;  // not kept
  std::size_t bucket = SymbolBucket(symbol, images);
  if (bucket >= kFirstImageBucket) {
    return first_image_region + static_cast<std::uint32_t>(bucket - kFirstImageBucket);
  }
  return region_of_page[bucket * kPages + (symbol.value >> 16)];
}

MemoryLayout LayOutMemory(const std::vector<const MapSymbol*>& symbols, std::uint32_t gap,
                          const std::vector<ImageSpan>& images, LayoutDetail detail) {
  bool with_sizes = detail != LayoutDetail::kRegions;
  MemoryLayout layout;
  layout.buckets.resize(kFirstImageBucket + images.size());
  layout.images = images;
  if (with_sizes) {
    layout.sizes.reserve(symbols.size());
    AdviseLargePages(layout.sizes.data(), symbols.size() * sizeof(std::int64_t));
    layout.sizes.assign(symbols.size(), kUnknownSize);
  }
  bool by_pages = detail == LayoutDetail::kRegions && CutByPages(layout, symbols, gap, images);
  bool each_region = detail != LayoutDetail::kOrderedSizes;
  if (!by_pages && each_region) {
    layout.region_of.reserve(symbols.size());
    AdviseLargePages(layout.region_of.data(), symbols.size() * sizeof(std::uint32_t));
    layout.region_of.assign(symbols.size(), kNoRegion);
  }
  // Which symbols are labels, read in map order rather than through the sorted order.
  std::vector<bool>& labels = layout.labels;
  if (!by_pages || !images.empty()) {
    FillBuckets(layout, symbols, images, by_pages ? kFirstImageBucket : kCodeBucket,
                with_sizes ? &labels : nullptr);
  }
  for (std::vector<std::uint64_t>& bucket : layout.buckets) SortByValue(bucket);
  if (!by_pages) {
    CutRegions(layout, kCodeBucket, gap, images);
    CutRegions(layout, kDataBucket, gap, images);
  }
  layout.first_image_region = static_cast<std::uint32_t>(layout.regions.size());
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
    if (!by_pages && each_region) {
      for (std::size_t at = region.begin; at < region.end; ++at) {
        layout.region_of[IndexOf(order[at])] = r;
      }
    }
    if (with_sizes) SizeRegion(layout, labels, region);
  }
  return layout;
}

}  // namespace k8writers
