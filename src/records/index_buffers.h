// SPDX-License-Identifier: MIT
// Shared by the lookup indexes: arrays from std::malloc that go with their owner (a refused
// allocation is null, never an exception), and the hint to fetch memory ahead.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

#include "common/prefetch.h"

namespace k8map {

struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};
template <class T>
using Buffer = std::unique_ptr<T[], FreeDeleter>;

template <class T>
Buffer<T> NewBuffer(std::size_t count) {
  if (count > static_cast<std::size_t>(-1) / sizeof(T)) return nullptr;
  return Buffer<T>(static_cast<T*>(std::malloc(count == 0 ? sizeof(T) : count * sizeof(T))));
}

}  // namespace k8map
