// Reading a regular file ahead of the scanner. A helper thread reads the file in large blocks
// and filters them as the text-mode layer does (carriage returns dropped, the first Ctrl-Z ends
// the input), a few blocks ahead, so that the scanner's refills only copy bytes already in
// memory. The bytes delivered, and where the input ends or fails, are exactly those of reading
// the stream directly.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "scanner/text_stream.h"

namespace k8map {

class ReadAhead {
 public:
  // Starts the helper on file, which nothing else reads until this is destroyed. When no
  // thread or memory can be had, Running() is false and the stream is to be read directly.
  explicit ReadAhead(std::FILE* file);
  // Stops the helper; the file stays open.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  bool Running() const { return helper_.joinable(); }

  // As ReadBlock: up to want filtered bytes, fewer only at the end of the input; kError when
  // nothing was delivered and the input ended on a read error.
  ReadStatus Read(char* dst, std::size_t want, std::size_t* got);

 private:
  static constexpr std::size_t kBlockSize = 64 * 1024;
  static constexpr unsigned kBlocks = 8;
  // The helper sleeps while the ring is full and is woken once this many blocks are free, so
  // that it reads in bursts rather than being woken for every block.
  static constexpr unsigned kWakeWhenFree = kBlocks / 2;
  struct Block {
    char bytes[kBlockSize];
    std::size_t count;
  };
  void Run();
  bool NextBlockReady();

  std::FILE* file_;
  std::unique_ptr<Block[]> blocks_;
  std::mutex mutex_;
  std::condition_variable produced_signal_, consumed_signal_;
  unsigned produced_ = 0;  // blocks filled by the helper
  unsigned consumed_ = 0;  // blocks emptied by the reader
  bool finished_ = false;  // the helper met the end of the input
  bool failed_ = false;    // ... by a read error
  bool stopping_ = false;
  std::size_t offset_ = 0;  // bytes already delivered from the block being read
  std::thread helper_;
};

}  // namespace k8map
