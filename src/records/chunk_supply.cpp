#include "records/chunk_supply.h"

#include <cstdlib>

#if !defined(_WIN32)
#include <sys/mman.h>
#endif

namespace k8map {
namespace {

// Sets the helper's stack in attributes: a mapping of our own where the system has mmap (the
// caller unmaps it after the join), else only the size. Returns the mapping or null.
void* SetHelperStack(pthread_attr_t& attributes) {
#if !defined(_WIN32)
  void* stack = mmap(nullptr, ChunkSupply::kHelperStackSize, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (stack != MAP_FAILED) {
    if (pthread_attr_setstack(&attributes, stack, ChunkSupply::kHelperStackSize) == 0) return stack;
    munmap(stack, ChunkSupply::kHelperStackSize);
  }
#endif
  pthread_attr_setstacksize(&attributes, ChunkSupply::kHelperStackSize);
  return nullptr;
}

void ReleaseHelperStack(void* stack) {
#if !defined(_WIN32)
  if (stack != nullptr) munmap(stack, ChunkSupply::kHelperStackSize);
#else
  (void)stack;
#endif
}

// Writes one byte in every page, so the system maps them all now rather than at first use.
void WriteEveryPage(void* chunk) {
  constexpr std::size_t kPage = 4096;
  auto* bytes = static_cast<volatile char*>(chunk);
  for (std::size_t offset = 0; offset < kSuppliedChunkSize; offset += kPage) bytes[offset] = 0;
}

}  // namespace

ChunkSupply::ChunkSupply() {
  // When no thread can be started there is no helper: the arenas allocate for themselves.
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return;
  helper_stack_ = SetHelperStack(attributes);
  helper_running_ = pthread_create(&helper_, &attributes, &ChunkSupply::RunHelper, this) == 0;
  pthread_attr_destroy(&attributes);
  if (!helper_running_) {
    ReleaseHelperStack(helper_stack_);
    helper_stack_ = nullptr;
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
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wanted_.notify_one();
  if (helper_running_) {
    pthread_join(helper_, nullptr);
    helper_running_ = false;
    ReleaseHelperStack(helper_stack_);
    helper_stack_ = nullptr;
  }
  for (int i = 0; i < untouched_count_; ++i) std::free(untouched_[i]);
  for (int i = 0; i < ready_count_; ++i) std::free(ready_[i]);
  untouched_count_ = ready_count_ = 0;
}

void* ChunkSupply::RunHelper(void* supply) {
  static_cast<ChunkSupply*>(supply)->Run();
  return nullptr;
}

void* ChunkSupply::Take() {
  void* chunk = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
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
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_ || untouched_count_ + int{touching_} + ready_count_ >= kAhead) return;
    }
    void* chunk = std::malloc(kSuppliedChunkSize);
    if (chunk == nullptr) return;  // memory is short: the arenas ask for themselves
    {
      std::lock_guard<std::mutex> lock(mutex_);
      untouched_[untouched_count_++] = chunk;
    }
    wanted_.notify_one();
  }
}

void ChunkSupply::Run() {
  for (;;) {
    void* chunk = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wanted_.wait(lock, [this] { return stopping_ || untouched_count_ > 0; });
      if (stopping_) return;
      chunk = untouched_[0];
      for (int i = 1; i < untouched_count_; ++i) untouched_[i - 1] = untouched_[i];
      --untouched_count_;
      touching_ = true;
    }
    WriteEveryPage(chunk);
    std::lock_guard<std::mutex> lock(mutex_);
    ready_[ready_count_++] = chunk;
    touching_ = false;
  }
}

}  // namespace k8map
