// SPDX-License-Identifier: MIT
// Standard output as the writers' sink, for the commands that write a file or standard output.
#pragma once

#include <string_view>

#include "output.h"
#include "symbol_export.h"

class OutputSink : public k8writers::ByteSink {
 public:
  explicit OutputSink(Output& out) : out_(out) {}
  void Write(const void* data, std::size_t size) override {
    out_.Put(std::string_view(static_cast<const char*>(data), size));
  }

 private:
  Output& out_;
};
