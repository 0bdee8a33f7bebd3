// SPDX-License-Identifier: MIT
#include <cstdlib>

#include "pages/page_supply.h"

namespace k8map {

// No large pages on request here: the system's own paging stays.
void AdviseLargePages(void*, std::size_t) {}

void* NewLargePageChunk(std::size_t size) {
  return std::malloc(size);
}

void FreeLargePageChunk(void* memory, std::size_t) {
  std::free(memory);
}

}  // namespace k8map
