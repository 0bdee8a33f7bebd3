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
  // Starts the helper; when no thread can be started the supply stays empty and every Take
  // returns null.
  ChunkSupply();
  // Stops the helper and frees the chunks nobody took.
  ~ChunkSupply();
  ChunkSupply(const ChunkSupply&) = delete;
  ChunkSupply& operator=(const ChunkSupply&) = delete;

  // A ready chunk of kSuppliedChunkSize bytes from std::malloc (the taker frees it), or null
  // when none is ready yet. Never waits for the helper. Allocates the chunks that keep the
  // supply a couple ahead.
  void* Take();

  // For a parse that the system refused memory: stops the helper (waiting for the chunk it may
  // be writing) and gives every chunk held ahead back to the system, so the parse's own request
  // can have that memory. Take returns null from then on.
  void Stop();

  // The helper thread's stack: it only touches pages, and a small stack keeps the address
  // space it takes from the parse small.
  static constexpr std::size_t kHelperStackSize = 64 * 1024;

 private:
  static constexpr int kAhead = 2;
  static void RunHelper(void* supply);
  void Run();
  // Allocates chunks for the helper until kAhead are held.
  void Refill();

  HelperThread helper_;           // its lock guards all below; it is woken when a chunk is wanted
  void* untouched_[kAhead] = {};  // allocated, waiting for the helper
  int untouched_count_ = 0;
  bool touching_ = false;  // the helper is writing to one
  void* ready_[kAhead] = {};
  int ready_count_ = 0;
  bool stopping_ = false;
};

}  // namespace k8map
