// Arena chunks made ready ahead of need. Memory the system has just handed out costs a page
// fault on the first write to each page; for a large map file that is a good part of the parse.
// A ChunkSupply runs one helper thread that allocates the record arenas' full-size chunks and
// writes to every page of them, a couple of chunks ahead, so the parse takes them ready.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace k8map {

inline constexpr std::size_t kSuppliedChunkSize = 1024 * 1024;

class ChunkSupply {
 public:
  // Starts the helper; when no thread can be started the supply stays empty and every Take
  // returns null.
  ChunkSupply();
  // Stops the helper and frees the chunks nobody took.
  ~ChunkSupply();
  ChunkSupply(const ChunkSupply&) = delete;
  ChunkSupply& operator=(const ChunkSupply&) = delete;

  // A ready chunk of kSuppliedChunkSize bytes from std::malloc (the taker frees it), or null
  // when none is ready yet. Never waits for the helper.
  void* Take();

 private:
  static constexpr int kAhead = 2;
  void Run();

  std::mutex mutex_;
  std::condition_variable wanted_;
  void* ready_[kAhead] = {};
  int ready_count_ = 0;
  bool stopping_ = false;
  std::thread helper_;
};

}  // namespace k8map
