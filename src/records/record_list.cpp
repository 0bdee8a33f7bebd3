#include "records/record_list.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "common/short_copy.h"
#include "records/chunk_supply.h"

namespace k8map {

struct ArenaChunk {
  ArenaChunk* previous;
};

namespace {

constexpr std::size_t kFirstChunkSize = 16 * 1024;
constexpr std::size_t kLargestChunkSize = kSuppliedChunkSize;
constexpr std::size_t kChunkHeader = alignof(std::max_align_t) > sizeof(ArenaChunk)
                                         ? alignof(std::max_align_t)
                                         : sizeof(ArenaChunk);

// A chunk of chunk_size bytes: from the test allocator when there is one, else a ready one
// from the supply when it has the size, else from std::malloc. When the system refuses, the
// supply is stopped and the chunks it held go back to the system before the request is made
// again: memory held ahead never costs the parse a record.
void* NewChunk(std::size_t chunk_size, const RecordList& list) {
  if (list.allocate != nullptr) return list.allocate(chunk_size);
  if (list.supply != nullptr && chunk_size == kSuppliedChunkSize) {
    if (void* ready = list.supply->Take()) return ready;
  }
  void* memory = std::malloc(chunk_size);
  if (memory == nullptr && list.supply != nullptr) {
    list.supply->Stop();
    memory = std::malloc(chunk_size);
  }
  return memory;
}

// Adds a chunk with room for at least size bytes; false when memory is refused.
bool GrowArena(Arena& arena, std::size_t size, const RecordList& list) {
  std::size_t chunk_size = arena.next_chunk_size ? arena.next_chunk_size : kFirstChunkSize;
  if (chunk_size < size + kChunkHeader) chunk_size = size + kChunkHeader;
  void* memory = NewChunk(chunk_size, list);
  if (memory == nullptr) return false;
  auto* chunk = static_cast<ArenaChunk*>(memory);
  chunk->previous = arena.chunks;
  arena.chunks = chunk;
  arena.next = static_cast<char*>(memory) + kChunkHeader;
  arena.limit = static_cast<char*>(memory) + chunk_size;
  if (chunk_size < kLargestChunkSize) arena.next_chunk_size = chunk_size * 2;
  return true;
}

// Size bytes from the arena (aligned to align), or null when memory is refused.
void* Allocate(Arena& arena, std::size_t size, std::size_t align, const RecordList& list) {
  auto aligned = [&] {
    auto address = reinterpret_cast<std::uintptr_t>(arena.next);
    return reinterpret_cast<char*>((address + align - 1) & ~(std::uintptr_t{align} - 1));
  };
  if (arena.next == nullptr || static_cast<std::size_t>(arena.limit - arena.next) < size + align) {
    if (!GrowArena(arena, size + align, list)) return nullptr;
  }
  char* start = aligned();
  arena.next = start + size;
  return start;
}

void ReleaseArena(Arena& arena) {
  ArenaChunk* chunk = arena.chunks;
  while (chunk != nullptr) {
    ArenaChunk* previous = chunk->previous;
    std::free(chunk);
    chunk = previous;
  }
  arena = Arena{};
}

int WriteCurrent(RecordList& list, std::uint32_t* value, const char** name) {
  SymbolRecord* node = list.cursor;
  if (node == nullptr) return 1;
  if (value != nullptr) *value = node->value;
  if (name != nullptr) *name = node->name;
  list.cursor = node->next;
  return 0;
}

}  // namespace

int Append(RecordList& list, const char* name, std::size_t length, std::uint32_t value) {
  void* node_memory = Allocate(list.nodes, sizeof(SymbolRecord), alignof(SymbolRecord), list);
  if (node_memory == nullptr) return -1;
  auto* copy = static_cast<char*>(Allocate(list.names, length + 1, 1, list));
  if (copy == nullptr) {
    list.nodes.next = static_cast<char*>(node_memory);  // give the node back
    return -1;
  }
  ShortCopy(copy, name, length);
  copy[length] = '\0';
  return Link(list, node_memory, copy, value);
}

int AppendPaddedSlowly(RecordList& list, const char* name, std::size_t length,
                       std::uint32_t value) {
  if (length >= kNamePadding) return Append(list, name, length, value);
  void* node_memory = Allocate(list.nodes, sizeof(SymbolRecord), alignof(SymbolRecord), list);
  if (node_memory == nullptr) return -1;
  // Room for a whole block; all but the name and its terminator is given back at once.
  auto* copy = static_cast<char*>(Allocate(list.names, kNamePadding, 1, list));
  if (copy == nullptr) {
    list.nodes.next = static_cast<char*>(node_memory);
    return -1;
  }
  char block[kNamePadding];
  std::memcpy(block, name, kNamePadding);
  std::memcpy(copy, block, kNamePadding);
  copy[length] = '\0';
  list.names.next = copy + length + 1;
  return Link(list, node_memory, copy, value);
}

int First(RecordList& list, std::uint32_t* value, const char** name) {
  list.cursor = list.head;
  return WriteCurrent(list, value, name);
}

int Next(RecordList& list, std::uint32_t* value, const char** name) {
  return WriteCurrent(list, value, name);
}

void FreeAll(RecordList& list) {
  ReleaseArena(list.nodes);
  ReleaseArena(list.names);
  list.head = list.tail = list.cursor = nullptr;
  list.count = 0;
}

}  // namespace k8map
