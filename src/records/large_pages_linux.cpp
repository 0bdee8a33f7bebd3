// SPDX-License-Identifier: MIT
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "records/large_pages.h"

namespace k8map {

void AdviseLargePages(void* memory, std::size_t size) {
  constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
  constexpr std::uintptr_t kPage = 4096;
  if (size < 2 * kLargePage) return;  // too small to hold a whole large page for long
  auto start = (reinterpret_cast<std::uintptr_t>(memory) + kPage - 1) & ~(kPage - 1);
  auto end = (reinterpret_cast<std::uintptr_t>(memory) + size) & ~(kPage - 1);
  madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

void* NewLargePageChunk(std::size_t size) {
  void* memory = std::aligned_alloc(size, size);
  if (memory != nullptr) madvise(memory, size, MADV_HUGEPAGE);
  return memory;
}

}  // namespace k8map
