// SPDX-License-Identifier: MIT
// Memory mapped straight from the system at a large-page boundary and marked for large pages
// (Linux's transparent huge pages in "madvise" mode), given straight back with munmap: a
// symbol table's name chunks and mapsyms' big arrays. Header-only, so that the command-line
// programs share it without the library's internals. Linux only.
#pragma once

#if defined(__linux__)
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace k8map {

inline constexpr std::size_t kLargePage = std::size_t{2} << 20;

// length bytes (a multiple of kLargePage) at a kLargePage boundary, marked for large pages;
// null when the system refuses. A large page more is mapped, then the part before the boundary
// (if any) and the part after the end (never empty) are given back. Released with
// munmap(memory, length).
inline void* MapLargePages(std::size_t length) {
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

}  // namespace k8map
#endif
