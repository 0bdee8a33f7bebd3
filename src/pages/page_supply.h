// SPDX-License-Identifier: MIT
// The page-readying helper, the one way the rest of the library reaches it. Memory the system
// has just handed out costs a page fault on the first write to each page; for a large map that
// is a good part of the parse. So a large parse gets a ChunkSupply: a helper thread that writes
// to every page of the arenas' next chunks and of the symbol array's next room before the parse
// reaches them; and large arrays are offered to the system for large pages (Linux's transparent
// huge pages in "madvise" mode; elsewhere nothing changes). Implemented in this folder:
// chunk_supply.cpp with chunk_helper.h, helper_thread_*.cpp, large_pages_*.cpp.
#pragma once

#include <cstddef>
#include <memory>

// A helper thread of small stack for any work beside the parse (the address index's halves):
// the room's other door.
#include "pages/helper_thread.h"

namespace k8map {

// Marks the whole pages within [memory, memory + size) for large pages when size is large
// enough to gain from them; a hint the system may ignore.
void AdviseLargePages(void* memory, std::size_t size);

// The size of a large symbol table's name chunks: one large page where the system offers them
// on request, so that readying a chunk takes one page fault instead of hundreds.
#if defined(__linux__)
inline constexpr std::size_t kTableChunkSize = std::size_t{2} << 20;
#else
inline constexpr std::size_t kTableChunkSize = std::size_t{1} << 20;
#endif
// The size of the record list's supplied chunks.
inline constexpr std::size_t kSuppliedChunkSize = 1024 * 1024;

// size bytes (kTableChunkSize) for an arena chunk, at a large-page boundary and marked for
// large pages where the system offers them; null when memory is refused. There it comes straight
// from the system, and FreeLargePageChunk gives it straight back (aligned blocks from the C
// library's heap would leave holes that later parses cannot fill); elsewhere it is std::malloc's.
void* NewLargePageChunk(std::size_t size);
void FreeLargePageChunk(void* memory, std::size_t size);

class ChunkHelper;

// Arena chunks and a store's array made ready ahead of need by a helper thread. The parse's
// thread allocates the chunks (so all of the parse's memory comes the same way with or without
// the supply); the helper only writes to their pages.
class ChunkSupply {
 public:
  // Starts the helper for chunks of chunk_size bytes, from NewLargePageChunk with large_pages
  // (else std::malloc); when no thread can be started the supply stays empty and every Take
  // returns null. When the helper's own memory is refused, the supply is false and may not be
  // used: the parse goes on without one.
  explicit ChunkSupply(std::size_t chunk_size = kSuppliedChunkSize, bool large_pages = false);
  // Stops the helper and frees the chunks nobody took.
  ~ChunkSupply();
  ChunkSupply(const ChunkSupply&) = delete;
  ChunkSupply& operator=(const ChunkSupply&) = delete;
  explicit operator bool() const { return helper_ != nullptr; }

  // A ready chunk of chunk_size() bytes, or null when none is ready yet. The taker frees it
  // with FreeLargePageChunk when large_pages(), else with std::free. Never waits for the
  // helper. Allocates the chunks that keep the supply a couple ahead.
  void* Take();
  std::size_t chunk_size() const { return chunk_size_; }
  bool large_pages() const { return large_pages_; }

  // A region that a store writes from its start on (a symbol table's array), whose pages the
  // helper writes to ahead of that writer, a step at a time, handing them over in order.
  // Waits for the helper to leave a region it is writing to first. Null and null: none.
  void SetRegion(char* start, char* end);
  // The writer is at `from` in the region and may write no further: returns how far it may
  // write now, at least `need` bytes past `from` (less only at the region's end). That is
  // every page the helper has made ready; when that is too little, a step the writer takes
  // for itself (after waiting for the helper to finish that step, when it is writing to it).
  // Null when there is no region.
  char* TakeRegion(char* from, std::size_t need);

  // For a parse that the system refused memory: stops the helper (waiting for the chunk it may
  // be writing) and gives every chunk held ahead back to the system, so the parse's own request
  // can have that memory. Take returns null from then on.
  void Stop();

 private:
  const std::size_t chunk_size_;
  const bool large_pages_;
  std::unique_ptr<ChunkHelper> helper_;  // its own place: the thread holds its address
};

}  // namespace k8map
