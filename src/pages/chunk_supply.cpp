// SPDX-License-Identifier: MIT
#include <cstdint>
#include <cstdlib>
#include <new>

#include "pages/chunk_helper.h"

namespace k8map {
namespace {

constexpr std::size_t kPage = 4096;

// Writes one byte in every page, so the system maps them all now rather than at first use.
void WriteEveryPage(void* chunk, std::size_t size) {
  auto* bytes = static_cast<volatile char*>(chunk);
  for (std::size_t offset = 0; offset < size; offset += kPage) bytes[offset] = 0;
}

// The same for the pages that begin within [start, start + size): a page that begins before
// start may hold bytes the writer has been given.
void WritePagesFrom(char* start, std::size_t size) {
  auto first = (reinterpret_cast<std::uintptr_t>(start) + kPage - 1) & ~std::uintptr_t{kPage - 1};
  auto end = reinterpret_cast<std::uintptr_t>(start) + size;
  for (std::uintptr_t page = first; page < end; page += kPage) {
    *reinterpret_cast<volatile char*>(page) = 0;
  }
}

}  // namespace

ChunkHelper::ChunkHelper(std::size_t chunk_size, bool large_pages)
    : chunk_size_(chunk_size), large_pages_(large_pages) {
  // When no thread can be started there is no helper: the arenas allocate for themselves.
  if (!helper_.Start(&ChunkHelper::RunHelper, this, kHelperStackSize)) {
    stopping_ = true;
    return;
  }
  Refill();
}

ChunkHelper::~ChunkHelper() {
  Stop();
}

void ChunkHelper::Stop() {
  {
    HelperLock lock(helper_);
    stopping_ = true;
    helper_.Wake();
  }
  helper_.Join();
  for (int i = 0; i < untouched_count_; ++i) FreeChunk(untouched_[i]);
  for (int i = 0; i < ready_count_; ++i) FreeChunk(ready_[i]);
  untouched_count_ = ready_count_ = 0;
}

void ChunkHelper::FreeChunk(void* chunk) const {
  if (large_pages_) {
    FreeLargePageChunk(chunk, chunk_size_);
  } else {
    std::free(chunk);
  }
}

void ChunkHelper::RunHelper(void* supply) {
  static_cast<ChunkHelper*>(supply)->Run();
}

void* ChunkHelper::Take() {
  void* chunk = nullptr;
  {
    HelperLock lock(helper_);
    if (stopping_) return nullptr;
    if (ready_count_ > 0) {
      chunk = ready_[0];
      for (int i = 1; i < ready_count_; ++i) ready_[i - 1] = ready_[i];
      --ready_count_;
    }
  }
  Refill();
  return chunk;
}

void ChunkHelper::SetRegion(char* start, char* end) {
  HelperLock lock(helper_);
  while (region_claimed_ > region_ready_) helper_.Wait();  // the helper is writing to it
  region_ready_ = region_claimed_ = region_wanted_ = start;
  region_end_ = end;
}

std::size_t ChunkHelper::ClaimRegionStep() {
  auto left = static_cast<std::size_t>(region_end_ - region_claimed_);
  std::size_t step = left < kRegionStep ? left : kRegionStep;
  region_claimed_ += step;
  return step;
}

char* ChunkHelper::TakeRegion(char* from, std::size_t need) {
  HelperLock lock(helper_);
  if (region_end_ == nullptr) return nullptr;
  if (stopping_) return region_end_;  // no helper: all of it, at once
  auto ahead = static_cast<std::size_t>(region_end_ - from);
  region_wanted_ = from + (ahead < kRegionAhead ? ahead : kRegionAhead);
  auto too_little = [&] { return static_cast<std::size_t>(region_ready_ - from) < need; };
  while (region_claimed_ > region_ready_ && too_little()) helper_.Wait();
  if (too_little()) {  // the helper is behind: the writer takes the next step itself
    ClaimRegionStep();
    region_ready_ = region_claimed_;
  }
  helper_.Wake();  // to go on ahead
  return region_ready_;
}

void ChunkHelper::Refill() {
  for (;;) {
    {
      HelperLock lock(helper_);
      if (stopping_ || untouched_count_ + int{touching_} + ready_count_ >= kAhead) return;
    }
    void* chunk = large_pages_ ? NewLargePageChunk(chunk_size_) : std::malloc(chunk_size_);
    if (chunk == nullptr) return;  // memory is short: the arenas ask for themselves
    HelperLock lock(helper_);
    untouched_[untouched_count_++] = chunk;
    helper_.Wake();
  }
}

// Chunks first (the names' arena waits for them), then the region.
void ChunkHelper::Run() {
  for (;;) {
    void* chunk = nullptr;
    char* region = nullptr;
    std::size_t size = 0;
    {
      HelperLock lock(helper_);
      while (!stopping_ && untouched_count_ == 0 && !RegionWanted()) helper_.Wait();
      if (stopping_) return;
      if (untouched_count_ > 0) {
        chunk = untouched_[0];
        for (int i = 1; i < untouched_count_; ++i) untouched_[i - 1] = untouched_[i];
        --untouched_count_;
        touching_ = true;
      } else {
        region = region_claimed_;
        size = ClaimRegionStep();
      }
    }
    if (chunk != nullptr) {
      WriteEveryPage(chunk, chunk_size_);
      HelperLock lock(helper_);
      ready_[ready_count_++] = chunk;
      touching_ = false;
    } else {
      WritePagesFrom(region, size);
      HelperLock lock(helper_);
      region_ready_ = region + size;
      helper_.Wake();  // the writer may be waiting for this step
    }
  }
}

ChunkSupply::ChunkSupply(std::size_t chunk_size, bool large_pages)
    : chunk_size_(chunk_size),
      large_pages_(large_pages),
      helper_(new (std::nothrow) ChunkHelper(chunk_size, large_pages)) {}

ChunkSupply::~ChunkSupply() = default;

void* ChunkSupply::Take() {
  return helper_->Take();
}

void ChunkSupply::SetRegion(char* start, char* end) {
  helper_->SetRegion(start, end);
}

char* ChunkSupply::TakeRegion(char* from, std::size_t need) {
  return helper_->TakeRegion(from, need);
}

void ChunkSupply::Stop() {
  helper_->Stop();
}

}  // namespace k8map
