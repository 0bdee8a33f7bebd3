// SPDX-License-Identifier: MIT
// A file written whole or not at all: the bytes go to a new file beside it, which is renamed
// over it when complete, so that a failure leaves no partial file and no earlier file damaged.
// A path that names something other than a regular file (a device, a pipe) is written in place.
// As a shell's redirect would: a symbolic link's file is written and the link kept, a replaced
// file keeps its permission bits, and a folder or a file the user may not write is refused.
// The bytes reach the system on a thread of their own, while the writer makes the next ones.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "symbol_export.h"

namespace k8writers {

class BackgroundWriter;

class ReplacingFile : public ByteSink {
 public:
  ReplacingFile();
  ~ReplacingFile() override;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // False with "cannot write PATH: reason" when the file cannot be made.
  bool Open(const std::string& path, FileFailure* failure);
  // Flushes, closes and renames into place; false with the reason when any step failed.
  bool Commit(FileFailure* failure);
  // Closes and removes what was written.
  void Abandon();

 private:
  std::string named_;      // the path as given, for messages
  std::string path_;       // the file written: the path with its links followed
  std::string temporary_;  // empty when writing in place
  std::FILE* file_ = nullptr;
  void Deliver(SinkBlock& block) override;
  std::unique_ptr<BackgroundWriter> writer_;
};

}  // namespace k8writers
