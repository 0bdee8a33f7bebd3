// The record list: every name/value pair the grammar accepts, in append order, until FreeAll.
// Nodes and name copies come from two chunked arenas (one of nodes, one of packed name bytes)
// that FreeAll releases at once, so appending costs no allocation per record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "kestrum8_map.h"

namespace k8map {

// Allocation seam for tests: returns null to refuse. The default is std::malloc.
using ChunkAllocator = void* (*)(std::size_t size);

struct ArenaChunk;
class ChunkSupply;

// A bump allocator over a singly linked list of chunks.
struct Arena {
  ArenaChunk* chunks = nullptr;
  char* next = nullptr;
  char* limit = nullptr;
  std::size_t next_chunk_size = 0;
};

struct RecordList {
  SymbolRecord* head = nullptr;
  SymbolRecord* tail = nullptr;
  std::int32_t count = 0;
  SymbolRecord* cursor = nullptr;
  Arena nodes;
  Arena names;
  ChunkAllocator allocate = nullptr;  // null: std::malloc
  ChunkSupply* supply = nullptr;      // full-size chunks made ready ahead, when not null
};

// Appends a record with its own copy of name (length bytes, no terminator needed); returns 0,
// or -1 with the list unchanged when memory cannot be obtained.
int Append(RecordList& list, const char* name, std::size_t length, std::uint32_t value);

// The same, for a name followed by at least kNamePadding readable bytes (a name in a fixed
// buffer of the scanner or the grammar): short names are copied as one fixed-size block.
inline constexpr std::size_t kNamePadding = 32;
// Puts a node with its name copy and value at the end of the list; returns 0.
inline int Link(RecordList& list, void* node_memory, const char* copy, std::uint32_t value) {
  auto* node = new (node_memory) SymbolRecord{copy, value, nullptr};
  if (list.tail != nullptr) {
    list.tail->next = node;
  } else {
    list.head = node;
  }
  list.tail = node;
  ++list.count;
  return 0;
}

int AppendPaddedSlowly(RecordList& list, const char* name, std::size_t length, std::uint32_t value);

// Appends records one after another as AppendPadded does, with the list's bump pointers,
// tail and count held here until Finish: a name copy's byte stores may alias the list, so
// appending to it directly reads them all again for every record. Every node-arena
// allocation is one node, so its bump pointer stays aligned for nodes.
class PaddedAppender {
 public:
  explicit PaddedAppender(RecordList& list) : list_(list) { Load(); }

  int Append(const char* name, std::size_t length, std::uint32_t value) {
    if (length >= kNamePadding ||
        static_cast<std::size_t>(node_limit_ - node_) < sizeof(SymbolRecord) ||
        static_cast<std::size_t>(name_limit_ - name_) < kNamePadding) {
      Finish();
      int result = AppendPaddedSlowly(list_, name, length, value);
      Load();
      return result;
    }
    auto* node = new (node_) SymbolRecord{name_, value, nullptr};
    node_ += sizeof(SymbolRecord);
    std::memcpy(name_, name, kNamePadding);  // the name never lies in the arena
    name_[length] = '\0';
    name_ += length + 1;
    if (tail_ != nullptr) {
      tail_->next = node;
    } else {
      list_.head = node;
    }
    tail_ = node;
    ++count_;
    return 0;
  }

  // Puts the held values back into the list.
  void Finish() {
    list_.nodes.next = node_;
    list_.names.next = name_;
    list_.tail = tail_;
    list_.count = count_;
  }

 private:
  void Load() {
    node_ = list_.nodes.next, node_limit_ = list_.nodes.limit;
    name_ = list_.names.next, name_limit_ = list_.names.limit;
    tail_ = list_.tail, count_ = list_.count;
  }

  RecordList& list_;
  char *node_, *node_limit_, *name_, *name_limit_;
  SymbolRecord* tail_;
  std::int32_t count_;
};

inline int AppendPadded(RecordList& list, const char* name, std::size_t length,
                        std::uint32_t value) {
  PaddedAppender appender(list);
  int result = appender.Append(name, length, value);
  appender.Finish();
  return result;
}

inline std::int32_t Count(const RecordList& list) {
  return list.count;
}
inline SymbolRecord* Head(const RecordList& list) {
  return list.head;
}

// Start and continue the iteration; 0 with a record written, 1 (nothing written) at the end.
// A null out slot is not written.
int First(RecordList& list, std::uint32_t* value, const char** name);
int Next(RecordList& list, std::uint32_t* value, const char** name);

// Releases every node and name copy; the list is empty afterwards.
void FreeAll(RecordList& list);

}  // namespace k8map
