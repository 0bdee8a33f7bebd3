// SPDX-License-Identifier: MIT
#include "size_options.h"

#include <cerrno>
#include <cstring>

#include "maps.h"
#include "number.h"
#include "wide_paths.h"

namespace {

bool ReadMemoryFile(const std::string& path, std::vector<k8writers::NamedMemory>* memories,
                    std::string* error) {
  std::FILE* file = OpenForReading(path);
  std::string text;
  bool read = file != nullptr && ReadAll(file, &text);
  int reason = errno;
  if (file != nullptr) std::fclose(file);
  if (!read) {
    *error = "cannot read the memory file " + path + ": " + std::strerror(reason);
    return false;
  }
  if (!k8writers::ParseMemoryList(text, memories, error)) {
    *error = path + ", " + *error;
    return false;
  }
  return true;
}

}  // namespace

bool ReadSizeOptions(const CommandLine& line, k8writers::SizeOptions* options, std::string* error) {
  if (line.Has("region-gap") &&
      (!ParseNumber(line.Last("region-gap"), &options->region_gap) || options->region_gap == 0)) {
    *error = "--region-gap takes a number of at least 1: " + std::string(kNumberForms);
    return false;
  }
  for (const std::string& file : line.Values("memory-file")) {
    if (!ReadMemoryFile(file, &options->memories, error)) return false;
  }
  for (const std::string& text : line.Values("memory")) {
    k8writers::NamedMemory memory;
    if (!k8writers::ParseMemory(text, &memory, error)) {
      *error = "--memory: " + *error;
      return false;
    }
    options->memories.push_back(std::move(memory));
  }
  return k8writers::MemoriesApart(options->memories, error);
}
