#include "records/chunk_supply.h"

#include <cstdlib>
#include <system_error>

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
  try {
    helper_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No helper: the arenas allocate for themselves.
  }
}

ChunkSupply::~ChunkSupply() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wanted_.notify_one();
  if (helper_.joinable()) helper_.join();
  for (int i = 0; i < ready_count_; ++i) std::free(ready_[i]);
}

void* ChunkSupply::Take() {
  void* chunk = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ready_count_ == 0) return nullptr;
    chunk = ready_[0];
    for (int i = 1; i < ready_count_; ++i) ready_[i - 1] = ready_[i];
    --ready_count_;
  }
  wanted_.notify_one();
  return chunk;
}

void ChunkSupply::Run() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wanted_.wait(lock, [this] { return stopping_ || ready_count_ < kAhead; });
      if (stopping_) return;
    }
    void* chunk = std::malloc(kSuppliedChunkSize);
    if (chunk == nullptr) return;  // memory is short: the arenas ask for themselves
    WriteEveryPage(chunk);
    std::lock_guard<std::mutex> lock(mutex_);
    ready_[ready_count_++] = chunk;
  }
}

}  // namespace k8map
