// SPDX-License-Identifier: MIT
#include "large_pages.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

#if defined(__linux__)
constexpr std::size_t kLargePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t bytes) {
  return (bytes + kLargePage - 1) & ~(kLargePage - 1);
}
#endif

}  // namespace

void* AllocateLarge(std::size_t bytes) {
#if defined(__linux__)
  if (bytes >= kLargePage && bytes <= std::size_t(-1) / 2) {
    std::size_t length = RoundUp(bytes);
    // A large page more than needed, then the parts before the first boundary and after the
    // array's end given back.
    void* got = mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (got == MAP_FAILED) OutOfMemory();
    auto start = reinterpret_cast<std::uintptr_t>(got);
    std::uintptr_t aligned = (start + kLargePage - 1) & ~(kLargePage - 1);
    if (aligned > start) munmap(got, aligned - start);
    std::uintptr_t end = aligned + length;
    std::uintptr_t mapped_end = start + length + kLargePage;
    if (mapped_end > end) munmap(reinterpret_cast<void*>(end), mapped_end - end);
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
  }
#endif
  void* p = std::malloc(bytes == 0 ? 1 : bytes);
  if (p == nullptr) OutOfMemory();
  return p;
}

void FreeLarge(void* p, std::size_t bytes) {
#if defined(__linux__)
  if (bytes >= kLargePage && bytes <= std::size_t(-1) / 2) {
    munmap(p, RoundUp(bytes));
    return;
  }
#else
  (void)bytes;
#endif
  std::free(p);
}
