// SPDX-License-Identifier: MIT
// Large arrays offered to the system for large pages (Linux's transparent huge pages in
// "madvise" mode): memory just handed out costs a page fault on the first write to each page,
// and with large pages one fault readies 2 MiB instead of 4 KiB. Elsewhere nothing changes.
// The library does the same for its tables; programs reach the library only through its
// public header, so the writers keep their own few lines.
#pragma once

#include <cstddef>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>

#include <cstdint>
#endif

namespace k8writers {

// Marks the whole large pages within [memory, memory + size); a hint the system may ignore.
inline void AdviseLargePages(void* memory, std::size_t size) {
#if defined(__linux__)
  constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
  auto start = (reinterpret_cast<std::uintptr_t>(memory) + kLargePage - 1) & ~(kLargePage - 1);
  auto end = (reinterpret_cast<std::uintptr_t>(memory) + size) & ~(kLargePage - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  (void)memory;
  (void)size;
#endif
}

// Sizes a fresh vector to count elements, its memory offered for large pages before its first
// write.
template <typename T>
void SizeOnLargePages(std::vector<T>& items, std::size_t count) {
  items.reserve(count);
  AdviseLargePages(items.data(), count * sizeof(T));
  items.resize(count);
}

}  // namespace k8writers
