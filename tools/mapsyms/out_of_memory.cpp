// SPDX-License-Identifier: MIT
#include "out_of_memory.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "exit_codes.h"

void OutOfMemory() {
  // No allocation here: the message is written as it stands.
  static const char kMessage[] = "mapsyms: out of memory\n";
  std::fwrite(kMessage, 1, sizeof kMessage - 1, stderr);
  std::fflush(stderr);
  std::_Exit(kExitFile);
}

void EndOnOutOfMemory() {
  std::set_new_handler(OutOfMemory);
}
