// SPDX-License-Identifier: MIT
#include "records/record_list.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "common/short_copy.h"

namespace k8map {

namespace {

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
  void* node_memory =
      ArenaAllocate(list.nodes, sizeof(SymbolRecord), alignof(SymbolRecord), list.source);
  if (node_memory == nullptr) return -1;
  auto* copy = static_cast<char*>(ArenaAllocate(list.names, length + 1, 1, list.source));
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
  void* node_memory =
      ArenaAllocate(list.nodes, sizeof(SymbolRecord), alignof(SymbolRecord), list.source);
  if (node_memory == nullptr) return -1;
  // Room for a whole block; all but the name and its terminator is given back at once.
  auto* copy = static_cast<char*>(ArenaAllocate(list.names, kNamePadding, 1, list.source));
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
