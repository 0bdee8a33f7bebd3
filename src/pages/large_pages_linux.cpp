// SPDX-License-Identifier: MIT
// Large pages on Linux: transparent huge pages in "madvise" mode, asked for by madvise.
#include <sys/mman.h>

#include <cstdint>

#include "pages/page_supply.h"

namespace k8map {

namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;

// length bytes (a multiple of kLargePage) mapped straight from the system at a kLargePage
// boundary, marked for large pages; null when the system refuses. A large page more is mapped,
// then the part before the boundary (if any) and the part after the end (never empty) are
// given back.
void* MapLargePages(std::size_t length) {
  void* mapped = mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  auto start = reinterpret_cast<std::uintptr_t>(mapped);
  std::uintptr_t aligned = (start + kLargePage - 1) & ~std::uintptr_t{kLargePage - 1};
  if (aligned > start) munmap(mapped, aligned - start);
  munmap(reinterpret_cast<void*>(aligned + length), start + kLargePage - aligned);
  madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

}  // namespace

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
