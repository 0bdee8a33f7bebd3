// SPDX-License-Identifier: MIT
// Arena chunks made ready ahead of need. Memory the system has just handed out costs a page
// fault on the first write to each page; for a large map file that is a good part of the parse.
// A ChunkSupply keeps a couple of the record arenas' full-size chunks ahead: the parse's thread
// allocates them (so all of the parse's memory comes the same way with or without the supply)
// and one helper thread writes to every page of them, so the parse takes them ready.
#pragma once

#include <cstddef>

#include "records/helper_thread.h"

namespace k8map {

inline constexpr std::size_t kSuppliedChunkSize = 1024 * 1024;

class ChunkSupply {
 public:
  // Starts the helper for chunks of chunk_size bytes, from NewLargePageChunk with large_pages
  // (else std::malloc); when no thread can be started the supply stays empty and every Take
  // returns null.
  explicit ChunkSupply(std::size_t chunk_size = kSuppliedChunkSize, bool large_pages = false);
  // Stops the helper and frees the chunks nobody took.
  ~ChunkSupply();
  ChunkSupply(const ChunkSupply&) = delete;
  ChunkSupply& operator=(const ChunkSupply&) = delete;

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

  // The helper thread's stack: it only touches pages.
  static constexpr std::size_t kHelperStackSize = kSmallHelperStack;

 private:
  static constexpr int kAhead = 2;
  static constexpr std::size_t kRegionStep = 1024 * 1024;
  static constexpr std::size_t kRegionAhead = 4 * kRegionStep;  // the helper's lead
  static void RunHelper(void* supply);
  void Run();
  // With the lock held: whether the helper should make more of the region ready.
  bool RegionWanted() const {
    return region_claimed_ < region_end_ && region_claimed_ < region_wanted_;
  }
  // With the lock held: the next step of the region from region_claimed_, claimed.
  std::size_t ClaimRegionStep();
  // Allocates chunks for the helper until kAhead are held.
  void Refill();
  void FreeChunk(void* chunk) const;

  const std::size_t chunk_size_;
  const bool large_pages_;
  HelperThread helper_;           // its lock guards all below; it is woken when a chunk is wanted
  void* untouched_[kAhead] = {};  // allocated, waiting for the helper
  int untouched_count_ = 0;
  bool touching_ = false;  // the helper is writing to one
  void* ready_[kAhead] = {};
  int ready_count_ = 0;
  bool stopping_ = false;
  // The region: [start, ready) is the writer's to write, [ready, claimed) the step the helper
  // is writing to, [claimed, end) nobody's yet; the helper keeps ready up to wanted.
  char* region_ready_ = nullptr;
  char* region_claimed_ = nullptr;
  char* region_end_ = nullptr;
  char* region_wanted_ = nullptr;
};

}  // namespace k8map
