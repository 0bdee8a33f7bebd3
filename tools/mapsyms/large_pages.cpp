// SPDX-License-Identifier: MIT
#include "large_pages.h"

#include <cstdint>
#include <cstdlib>

#include "common/large_page_mapping.h"

namespace {

#if defined(__linux__)
using k8map::kLargePage;

std::size_t RoundUp(std::size_t bytes) {
  return (bytes + kLargePage - 1) & ~(kLargePage - 1);
}
#endif

}  // namespace

void* AllocateLarge(std::size_t bytes) {
#if defined(__linux__)
  if (bytes >= kLargePage && bytes <= std::size_t(-1) / 2) {
    void* mapped = k8map::MapLargePages(RoundUp(bytes));
    if (mapped == nullptr) OutOfMemory();
    return mapped;
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
