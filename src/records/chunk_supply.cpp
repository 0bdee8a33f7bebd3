#include "records/chunk_supply.h"

#include <cstdlib>

namespace k8map {
namespace {

// Writes one byte in every page, so the system maps them all now rather than at first use.
void WriteEveryPage(void* chunk) {
  constexpr std::size_t kPage = 4096;
  auto* bytes = static_cast<volatile char*>(chunk);
  for (std::size_t offset = 0; offset < kSuppliedChunkSize; offset += kPage) bytes[offset] = 0;
}

}  // namespace

ChunkSupply::ChunkSupply() {
  // When no thread can be started there is no helper: the arenas allocate for themselves.
  if (!helper_.Start(&ChunkSupply::RunHelper, this, kHelperStackSize)) {
    stopping_ = true;
    return;
  }
  Refill();
}

ChunkSupply::~ChunkSupply() {
  Stop();
}

void ChunkSupply::Stop() {
  {
    HelperLock lock(helper_);
    stopping_ = true;
    helper_.Wake();
  }
  helper_.Join();
  for (int i = 0; i < untouched_count_; ++i) std::free(untouched_[i]);
  for (int i = 0; i < ready_count_; ++i) std::free(ready_[i]);
  untouched_count_ = ready_count_ = 0;
}

void ChunkSupply::RunHelper(void* supply) {
  static_cast<ChunkSupply*>(supply)->Run();
}

void* ChunkSupply::Take() {
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

void ChunkSupply::Refill() {
  for (;;) {
    {
      HelperLock lock(helper_);
      if (stopping_ || untouched_count_ + int{touching_} + ready_count_ >= kAhead) return;
    }
    void* chunk = std::malloc(kSuppliedChunkSize);
    if (chunk == nullptr) return;  // memory is short: the arenas ask for themselves
    HelperLock lock(helper_);
    untouched_[untouched_count_++] = chunk;
    helper_.Wake();
  }
}

void ChunkSupply::Run() {
  for (;;) {
    void* chunk = nullptr;
    {
      HelperLock lock(helper_);
      while (!stopping_ && untouched_count_ == 0) helper_.Wait();
      if (stopping_) return;
      chunk = untouched_[0];
      for (int i = 1; i < untouched_count_; ++i) untouched_[i - 1] = untouched_[i];
      --untouched_count_;
      touching_ = true;
    }
    WriteEveryPage(chunk);
    HelperLock lock(helper_);
    ready_[ready_count_++] = chunk;
    touching_ = false;
  }
}

}  // namespace k8map
