// SPDX-License-Identifier: MIT
// Shared pieces of the fuzz targets: writing an input to a file, and failing loudly.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <process.h>
#define K8MAP_GETPID _getpid
#else
#include <unistd.h>
#define K8MAP_GETPID getpid
#endif

namespace k8map::fuzz {

// A per-process file path for the current input, removed when the process exits.
inline const std::string& InputPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string base = dir != nullptr ? dir : "/tmp";
#ifdef _WIN32
    if (dir == nullptr) base = ".";
#endif
    return base + "/k8map_fuzz_" + std::to_string(K8MAP_GETPID()) + ".map";
  }();
  static const bool removed_at_exit = [] {
    return std::atexit([] { std::remove(InputPath().c_str()); }) == 0;
  }();
  (void)removed_at_exit;
  return path;
}

inline void WriteInput(const unsigned char* data, std::size_t size) {
  std::FILE* file = std::fopen(InputPath().c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
}

// An invariant failed: say which and stop, so the fuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "invariant failed: %s\n", what);
  std::abort();
}

inline void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

}  // namespace k8map::fuzz
