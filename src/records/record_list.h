// SPDX-License-Identifier: MIT
// The record list: every name/value pair the grammar accepts, in append order, until FreeAll.
// Nodes and name copies come from two chunked arenas (one of nodes, one of packed name bytes)
// that FreeAll releases at once, so appending costs no allocation per record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "common/bits.h"  // K8MAP_ALWAYS_INLINE
#include "kestrum8_map.h"
#include "records/arena.h"

namespace k8map {

struct RecordList {
  SymbolRecord* head = nullptr;
  SymbolRecord* tail = nullptr;
  std::int32_t count = 0;
  SymbolRecord* cursor = nullptr;
  Arena nodes;
  Arena names;
  ChunkSource source;  // where the arenas' chunks come from
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

// Every node-arena allocation is one node, so its bump pointer stays aligned for nodes.
inline int AppendPadded(RecordList& list, const char* name, std::size_t length,
                        std::uint32_t value) {
  if (length >= kNamePadding ||
      static_cast<std::size_t>(list.nodes.limit - list.nodes.next) < sizeof(SymbolRecord) ||
      static_cast<std::size_t>(list.names.limit - list.names.next) < kNamePadding) {
    return AppendPaddedSlowly(list, name, length, value);
  }
  void* node = list.nodes.next;
  list.nodes.next += sizeof(SymbolRecord);
  char* copy = list.names.next;
  std::memcpy(copy, name, kNamePadding);  // the name never lies in the arena
  copy[length] = '\0';
  list.names.next = copy + length + 1;
  return Link(list, node, copy, value);
}

// Appends entries [from, to) as AppendPadded does (an entry whose value did not convert is
// passed over), while each has a name shorter than kNamePadding and room in the arenas'
// current chunks; returns the index of the first entry it leaves (to when none). The list's
// bump pointers, tail and count are held in locals meanwhile: stored to, a name copy's byte
// stores could alias them, and every record would read them all again.
template <class Entry>  // name, name_length, number and converted
K8MAP_ALWAYS_INLINE int AppendPaddedRun(RecordList& list, const Entry* entries, int from, int to) {
  char *node = list.nodes.next, *name = list.names.next;
  char *const node_limit = list.nodes.limit, *const name_limit = list.names.limit;
  SymbolRecord* tail = list.tail;
  std::int32_t count = list.count;
  int i = from;
  for (; i < to; ++i) {
    const Entry& entry = entries[i];
    if (!entry.converted) continue;
    auto length = static_cast<std::size_t>(entry.name_length);
    if (length >= kNamePadding ||
        static_cast<std::size_t>(node_limit - node) < sizeof(SymbolRecord) ||
        static_cast<std::size_t>(name_limit - name) < kNamePadding) {
      break;
    }
    auto* record = new (node) SymbolRecord{name, entry.number, nullptr};
    node += sizeof(SymbolRecord);
    std::memcpy(name, entry.name, kNamePadding);
    name[length] = '\0';
    name += length + 1;
    if (tail != nullptr) {
      tail->next = record;
    } else {
      list.head = record;
    }
    tail = record;
    ++count;
  }
  list.nodes.next = node;
  list.names.next = name;
  list.tail = tail;
  list.count = count;
  return i;
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
