// SPDX-License-Identifier: MIT
// The memories of a part as its user names them (FLASH=0x08000000,512K): where each begins and
// how large it is, for the usage and size views.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace k8writers {

struct NamedMemory {
  std::string name;
  std::uint32_t start = 0;
  std::uint64_t size = 0;  // at least 1; start + size at most 2^32
};

inline constexpr const char* kMemoryForm =
    "NAME=START,SIZE (START hexadecimal; SIZE hexadecimal, or decimal with K or M: "
    "FLASH=0x08000000,512K)";

// One memory from "NAME=START,SIZE"; false with the reason in *error.
bool ParseMemory(std::string_view text, NamedMemory* memory, std::string* error);

// The memories of a memory file's text: one a line in the same form; blank lines and lines
// starting with '#' skipped. Errors name the line.
bool ParseMemoryList(std::string_view text, std::vector<NamedMemory>* memories, std::string* error);

// False, with the reason, when two memories share a name or overlap.
bool MemoriesApart(const std::vector<NamedMemory>& memories, std::string* error);

}  // namespace k8writers
