// SPDX-License-Identifier: MIT
// An allocator for the big arrays of the lookup index. The index is read at random, one
// address after another, so with 4 KiB pages nearly every lookup also misses the address
// translation cache, and making the arrays takes a page fault per 4 KiB. On Linux, arrays
// of 2 MiB and more are therefore mapped at a 2 MiB boundary and offered to the kernel for
// large pages (it decides; without them this is an ordinary mapping). Elsewhere, and for
// smaller arrays, the ordinary allocator. When memory is refused, mapsyms ends (OutOfMemory).
#pragma once

#include <cstddef>
#include <new>
#include <utility>
#include <vector>

#include "out_of_memory.h"

void* AllocateLarge(std::size_t bytes);
void FreeLarge(void* p, std::size_t bytes);

template <class T>
struct LargePageAllocator {
  using value_type = T;
  LargePageAllocator() = default;
  template <class U>
  LargePageAllocator(const LargePageAllocator<U>&) {}
  T* allocate(std::size_t n) {
    if (n > std::size_t(-1) / sizeof(T)) OutOfMemory();
    return static_cast<T*>(AllocateLarge(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) { FreeLarge(p, n * sizeof(T)); }
  // resize(n) makes plain data without writing it: every such array is written whole by the
  // code that fills it, and a first pass of zeros would fault every page in the resizing thread.
  template <class U>
  void construct(U* p) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <class U>
  bool operator==(const LargePageAllocator<U>&) const {
    return true;
  }
};

template <class T>
using LargeVector = std::vector<T, LargePageAllocator<T>>;
