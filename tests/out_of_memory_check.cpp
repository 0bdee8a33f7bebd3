// SPDX-License-Identifier: MIT
// mapsyms' end on memory exhaustion, in a thread other than the main one: an allocation that
// cannot be had must print "mapsyms: out of memory" and exit with 3, not abort.
#include <cstddef>
#include <new>
#include <thread>
#include <vector>

#include "out_of_memory.h"

int main(int argc, char**) {
  EndOnOutOfMemory();
  std::thread worker([argc] {
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer's allocator reports such a request itself instead of failing it: what
    // the allocation would call is called directly.
    (void)argc;
    std::get_new_handler()();
#else
    // More than any address space holds, and unknown to the compiler.
    std::vector<char> impossible(static_cast<std::size_t>(-1) / 2 - static_cast<std::size_t>(argc));
    impossible[0] = 1;
#endif
  });
  worker.join();
  return 0;
}
