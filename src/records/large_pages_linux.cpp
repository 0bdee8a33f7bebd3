// SPDX-License-Identifier: MIT
#include <sys/mman.h>

#include <cstdint>

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

// A boundary of size (a power of two) within a mapping of twice size; the part before it, if
// any, and the part after it (never empty) unmapped.
void* NewLargePageChunk(std::size_t size) {
  void* mapped =
      mmap(nullptr, 2 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  auto start = reinterpret_cast<std::uintptr_t>(mapped);
  std::uintptr_t aligned = (start + size - 1) & ~(std::uintptr_t{size} - 1);
  if (aligned > start) munmap(mapped, aligned - start);
  munmap(reinterpret_cast<void*>(aligned + size), start + size - aligned);
  madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

void FreeLargePageChunk(void* memory, std::size_t size) {
  munmap(memory, size);
}

}  // namespace k8map
