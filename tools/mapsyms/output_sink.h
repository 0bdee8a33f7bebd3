// SPDX-License-Identifier: MIT
// Standard output as the writers' sink, for the commands that write a file or standard output.
#pragma once

#include <string_view>

#include "output.h"
#include "symbol_export.h"

class OutputSink : public k8writers::ByteSink {
 public:
  explicit OutputSink(Output& out) : out_(out) {}
  ~OutputSink() override { Flush(); }

 private:
  // A full block is larger than the output's own, which hands it straight on.
  void Deliver(k8writers::SinkBlock& block) override {
    out_.Put(std::string_view(block.bytes.get(), block.size));
  }
  Output& out_;
};
