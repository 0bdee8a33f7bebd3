// SPDX-License-Identifier: MIT
#include <sys/mman.h>

#include <cstdint>

#include "common/large_page_mapping.h"
#include "records/large_pages.h"

namespace k8map {

void AdviseLargePages(void* memory, std::size_t size) {
  constexpr std::uintptr_t kPage = 4096;
  if (size < 2 * kLargePage) return;  // too small to hold a whole large page for long
  auto start = (reinterpret_cast<std::uintptr_t>(memory) + kPage - 1) & ~(kPage - 1);
  auto end = (reinterpret_cast<std::uintptr_t>(memory) + size) & ~(kPage - 1);
  madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

void* NewLargePageChunk(std::size_t size) {
  return MapLargePages(size);
}

void FreeLargePageChunk(void* memory, std::size_t size) {
  munmap(memory, size);
}

}  // namespace k8map
