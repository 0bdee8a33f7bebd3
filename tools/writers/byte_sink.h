// SPDX-License-Identifier: MIT
// Where a writer's bytes go (a file, standard output or memory), through one block: a writer
// asks for room in it and writes there, and the block is handed on whole when it fills, so that
// no other buffer stands between a writer and its file.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace k8writers {

// A block of bytes as it is handed on: its storage (kBlockSize bytes) and how many it holds.
struct SinkBlock {
  std::unique_ptr<char[]> bytes;
  std::size_t size = 0;
};

class ByteSink {
 public:
  static constexpr std::size_t kBlockSize = 1 << 20;
  // The most room asked for at once.
  static constexpr std::size_t kLargestRoom = 1 << 16;

  ByteSink();
  virtual ~ByteSink() = default;
  ByteSink(const ByteSink&) = delete;
  ByteSink& operator=(const ByteSink&) = delete;

  // Room for size bytes (at most kLargestRoom), to be written at once; GiveBack returns the end
  // of it that was not written.
  char* Room(std::size_t size) {
    if (block_.size + size > kBlockSize) Flush();
    char* at = block_.bytes.get() + block_.size;
    block_.size += size;
    return at;
  }
  void GiveBack(std::size_t size) { block_.size -= size; }
  void Write(const void* data, std::size_t size);
  void Put(std::string_view text) { Write(text.data(), text.size()); }
  void Put(char c) { *Room(1) = c; }
  // Hands on what the block holds; the owner of a sink calls it when the writing ends.
  void Flush();
  // Hands on a block filled elsewhere, after the bytes written here; the block may come back as
  // another.
  void Append(SinkBlock& block) {
    Flush();
    Deliver(block);
  }

 protected:
  // Takes the block's bytes; may exchange the block for another of kBlockSize bytes.
  virtual void Deliver(SinkBlock& block) = 0;

 private:
  SinkBlock block_;
};

// Blocks kept in memory in their order, to be appended whole to another sink: bytes made on
// another thread before their place in the output comes.
class HeldBlocks : public ByteSink {
 public:
  ~HeldBlocks() override = default;
  // Appends every block held to sink, and lets them go.
  void AppendTo(ByteSink& sink) {
    Flush();
    for (SinkBlock& block : blocks_) sink.Append(block);
    blocks_.clear();
  }

 private:
  void Deliver(SinkBlock& block) override {
    blocks_.push_back(std::move(block));
    block = {std::make_unique_for_overwrite<char[]>(kBlockSize), 0};
  }
  std::vector<SinkBlock> blocks_;
};

// The bytes kept in memory.
class StringSink : public ByteSink {
 public:
  ~StringSink() override = default;
  const std::string& text() {
    Flush();
    return text_;
  }

 private:
  void Deliver(SinkBlock& block) override { text_.append(block.bytes.get(), block.size); }
  std::string text_;
};

}  // namespace k8writers
