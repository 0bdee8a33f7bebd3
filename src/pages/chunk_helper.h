// SPDX-License-Identifier: MIT
// The helper behind a ChunkSupply (page_supply.h): the thread, the chunks it holds ahead and the
// region it readies, all under the thread's lock. Inside this folder only.
#pragma once

#include <cstddef>

#include "pages/helper_thread.h"
#include "pages/page_supply.h"

namespace k8map {

class ChunkHelper {
 public:
  // As ChunkSupply's.
  ChunkHelper(std::size_t chunk_size, bool large_pages);
  ~ChunkHelper();
  ChunkHelper(const ChunkHelper&) = delete;
  ChunkHelper& operator=(const ChunkHelper&) = delete;
  void* Take();
  void SetRegion(char* start, char* end);
  char* TakeRegion(char* from, std::size_t need);
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
