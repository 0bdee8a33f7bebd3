// SPDX-License-Identifier: MIT
// Asking for memory ahead of its use: the lookup indexes read symbols, names and entries at
// places far apart, each a cache miss when it is reached unannounced.
#pragma once

namespace k8map {

inline void Prefetch(const void* p) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

// For memory about to be written.
inline void PrefetchToWrite(void* p) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(p, 1);
#else
  (void)p;
#endif
}

}  // namespace k8map
