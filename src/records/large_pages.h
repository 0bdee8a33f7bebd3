// SPDX-License-Identifier: MIT
// Large memory pages for a large array: fewer page faults and fewer address translations
// missed while it is written and read. Where the system offers them on request (Linux's
// transparent huge pages in "madvise" mode), the array's memory is marked for them; elsewhere
// nothing changes. One implementation per system: large_pages_linux.cpp, large_pages_other.cpp.
#pragma once

#include <cstddef>

namespace k8map {

// Marks the whole pages within [memory, memory + size) for large pages when size is large
// enough to gain from them; a hint the system may ignore.
void AdviseLargePages(void* memory, std::size_t size);

// The size of a large symbol table's name chunks: one large page where the system offers them
// on request (kLargePage), so that readying a chunk takes one page fault instead of hundreds.
#if defined(__linux__)
inline constexpr std::size_t kTableChunkSize = std::size_t{2} << 20;
#else
inline constexpr std::size_t kTableChunkSize = std::size_t{1} << 20;
#endif

// size bytes (kTableChunkSize) for an arena chunk, at a large-page boundary and marked for
// large pages where the system offers them; null when memory is refused. There it comes straight
// from the system, and FreeLargePageChunk gives it straight back (aligned blocks from the C
// library's heap would leave holes that later parses cannot fill); elsewhere it is std::malloc's.
void* NewLargePageChunk(std::size_t size);
void FreeLargePageChunk(void* memory, std::size_t size);

}  // namespace k8map
