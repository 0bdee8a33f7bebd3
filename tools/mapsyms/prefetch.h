// SPDX-License-Identifier: MIT
// Asking for memory ahead of its use: the large commands read records, names and entries at
// places far apart, each a cache miss when it is reached unannounced.
#pragma once

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
