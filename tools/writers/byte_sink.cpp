// SPDX-License-Identifier: MIT
#include "byte_sink.h"

#include <algorithm>
#include <cstring>

namespace k8writers {

ByteSink::ByteSink() : block_{std::make_unique_for_overwrite<char[]>(kBlockSize), 0} {}

void ByteSink::Write(const void* data, std::size_t size) {
  const char* from = static_cast<const char*>(data);
  while (size > 0) {
    if (block_.size == kBlockSize) Flush();
    std::size_t part = std::min(size, kBlockSize - block_.size);
    std::memcpy(block_.bytes.get() + block_.size, from, part);
    block_.size += part;
    from += part;
    size -= part;
  }
}

void ByteSink::Flush() {
  if (block_.size == 0) return;
  Deliver(block_);
  block_.size = 0;
}

}  // namespace k8writers
