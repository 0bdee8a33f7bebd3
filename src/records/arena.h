// SPDX-License-Identifier: MIT
// A bump allocator over a singly linked list of chunks, released all at once: the record
// list's nodes and names, and a symbol table's names, come from such arenas, so that storing
// a symbol costs no allocation of its own.
#pragma once

#include <cstddef>

namespace k8map {

// Allocation seam for tests: returns null to refuse. The default is std::malloc.
using ChunkAllocator = void* (*)(std::size_t size);

struct ArenaChunk;
class ChunkSupply;

struct Arena {
  ArenaChunk* chunks = nullptr;
  char* next = nullptr;
  char* limit = nullptr;
  std::size_t next_chunk_size = 0;
};

// Where an arena's chunks come from: the test allocator when there is one, else a ready chunk
// from the supply when it has the size, else std::malloc.
struct ChunkSource {
  ChunkAllocator allocate = nullptr;  // null: std::malloc
  ChunkSupply* supply = nullptr;      // full-size chunks made ready ahead, when not null
};

// Size bytes from the arena (aligned to align), or null when memory is refused.
void* ArenaAllocate(Arena& arena, std::size_t size, std::size_t align, const ChunkSource& source);

// Releases every chunk; the arena is empty afterwards.
void ReleaseArena(Arena& arena);

}  // namespace k8map
