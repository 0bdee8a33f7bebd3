// SPDX-License-Identifier: MIT
#include "records/arena.h"

#include <cstdint>
#include <cstdlib>

#include "pages/page_supply.h"

namespace k8map {

struct ArenaChunk {
  ArenaChunk* previous;
  std::size_t large_page_bytes;  // from NewLargePageChunk, of this size; 0: from std::malloc
};

namespace {

constexpr std::size_t kFirstChunkSize = 16 * 1024;
constexpr std::size_t kChunkHeader = alignof(std::max_align_t) > sizeof(ArenaChunk)
                                         ? alignof(std::max_align_t)
                                         : sizeof(ArenaChunk);

// A chunk of chunk_size bytes. When the system refuses, the supply is stopped and the chunks it
// held go back to the system before the request is made again: memory held ahead never costs
// the parse a symbol.
void* NewChunk(std::size_t chunk_size, const ChunkSource& source, bool* large_pages) {
  *large_pages = false;
  if (source.allocate != nullptr) return source.allocate(chunk_size);
  if (source.supply != nullptr && chunk_size == source.supply->chunk_size()) {
    if (void* ready = source.supply->Take()) {
      *large_pages = source.supply->large_pages();
      return ready;
    }
  }
  void* memory = std::malloc(chunk_size);
  if (memory == nullptr && source.supply != nullptr) {
    source.supply->Stop();
    memory = std::malloc(chunk_size);
  }
  return memory;
}

// Adds a chunk with room for at least size bytes; false when memory is refused.
bool GrowArena(Arena& arena, std::size_t size, const ChunkSource& source) {
  std::size_t chunk_size = arena.next_chunk_size ? arena.next_chunk_size : kFirstChunkSize;
  if (chunk_size < size + kChunkHeader) chunk_size = size + kChunkHeader;
  bool large_pages = false;
  void* memory = NewChunk(chunk_size, source, &large_pages);
  if (memory == nullptr) return false;
  auto* chunk = static_cast<ArenaChunk*>(memory);
  chunk->previous = arena.chunks;
  chunk->large_page_bytes = large_pages ? chunk_size : 0;
  arena.chunks = chunk;
  arena.next = static_cast<char*>(memory) + kChunkHeader;
  arena.limit = static_cast<char*>(memory) + chunk_size;
  // Doubling up to the supply's size (its chunks are the ones made ready ahead).
  std::size_t largest = source.supply != nullptr ? source.supply->chunk_size() : kSuppliedChunkSize;
  if (chunk_size < largest) arena.next_chunk_size = chunk_size * 2;
  return true;
}

}  // namespace

void* ArenaAllocate(Arena& arena, std::size_t size, std::size_t align, const ChunkSource& source) {
  auto aligned = [&] {
    auto address = reinterpret_cast<std::uintptr_t>(arena.next);
    return reinterpret_cast<char*>((address + align - 1) & ~(std::uintptr_t{align} - 1));
  };
  if (arena.next == nullptr || static_cast<std::size_t>(arena.limit - arena.next) < size + align) {
    if (!GrowArena(arena, size + align, source)) return nullptr;
  }
  char* start = aligned();
  arena.next = start + size;
  return start;
}

void ReleaseArena(Arena& arena) {
  ArenaChunk* chunk = arena.chunks;
  while (chunk != nullptr) {
    ArenaChunk* previous = chunk->previous;
    if (chunk->large_page_bytes != 0) {
      FreeLargePageChunk(chunk, chunk->large_page_bytes);
    } else {
      std::free(chunk);
    }
    chunk = previous;
  }
  arena = Arena{};
}

}  // namespace k8map
