// SPDX-License-Identifier: MIT
// A file written whole or not at all: the bytes go to a new file beside it, which is renamed
// over it when complete, so that a failure leaves no partial file and no earlier file damaged.
// A path that names something other than a regular file (a device, a pipe) is written in place.
#pragma once

#include <cstdio>
#include <string>

#include "symbol_export.h"

namespace k8writers {

class ReplacingFile : public ByteSink {
 public:
  ReplacingFile() = default;
  ~ReplacingFile() override;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // False with "cannot write PATH: reason" when the file cannot be made.
  bool Open(const std::string& path, std::string* error);
  void Write(const void* data, std::size_t size) override;
  // Flushes, closes and renames into place; false with the reason when any step failed.
  bool Commit(std::string* error);
  // Closes and removes what was written.
  void Abandon();

 private:
  std::string path_;
  std::string temporary_;  // empty when writing in place
  std::FILE* file_ = nullptr;
  int failure_ = 0;  // the errno of the first failed write
};

}  // namespace k8writers
