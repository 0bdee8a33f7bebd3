#include "scanner/read_ahead.h"

#include <cstring>
#include <new>
#include <system_error>

namespace k8map {

ReadAhead::ReadAhead(std::FILE* file) : file_(file) {
  blocks_.reset(new (std::nothrow) Block[kBlocks]);
  if (!blocks_) return;
  try {
    helper_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // Not running: the stream is read directly.
  }
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  consumed_signal_.notify_one();
  if (helper_.joinable()) helper_.join();
}

void ReadAhead::Run() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (produced_ - consumed_ == kBlocks) {
        consumed_signal_.wait(
            lock, [this] { return stopping_ || produced_ - consumed_ <= kBlocks - kWakeWhenFree; });
      }
      if (stopping_) return;
    }
    // Only this thread writes a block that is not yet produced.
    Block& block = blocks_[produced_ % kBlocks];
    std::size_t raw = std::fread(block.bytes, 1, kBlockSize, file_);
    bool ctrl_z = false;
    std::size_t kept = FilterText(block.bytes, raw, &ctrl_z);
    bool at_end = raw < kBlockSize || ctrl_z;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      block.count = kept;
      if (kept > 0) ++produced_;
      if (at_end) {
        finished_ = true;
        failed_ = !ctrl_z && std::ferror(file_) != 0;
      }
    }
    produced_signal_.notify_one();
    if (at_end) return;
  }
}

// Waits until the block at consumed_ is filled or the input has ended; true when it is filled.
bool ReadAhead::NextBlockReady() {
  std::unique_lock<std::mutex> lock(mutex_);
  produced_signal_.wait(lock, [this] { return produced_ != consumed_ || finished_; });
  return produced_ != consumed_;
}

ReadStatus ReadAhead::Read(char* dst, std::size_t want, std::size_t* got) {
  std::size_t total = 0;
  while (total < want && NextBlockReady()) {
    const Block& block = blocks_[consumed_ % kBlocks];
    std::size_t n = block.count - offset_;
    if (n > want - total) n = want - total;
    std::memcpy(dst + total, block.bytes + offset_, n);
    total += n;
    offset_ += n;
    if (offset_ == block.count) {
      offset_ = 0;
      bool wake;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++consumed_;
        wake = produced_ - consumed_ == kBlocks - kWakeWhenFree;
      }
      if (wake) consumed_signal_.notify_one();
    }
  }
  *got = total;
  bool failed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    failed = failed_;
  }
  return total == 0 && failed ? ReadStatus::kError : ReadStatus::kOk;
}

}  // namespace k8map
