// SPDX-License-Identifier: MIT
// The options of the size views (usage, diff --sizes, report): --memory NAME=START,SIZE
// (repeatable), --memory-file FILE and --region-gap N.
#pragma once

#include <string>

#include "command_line.h"
#include "memory_sizes.h"

// The options in --help, a literal to be joined with the command's own text.
#define SIZE_OPTIONS_HELP                                                                          \
  "  --memory NAME=START,SIZE\n"                                                                   \
  "                     a memory of the part (may be given more than once): START hexadecimal,\n"  \
  "                     SIZE hexadecimal or decimal with K or M (FLASH=0x08000000,512K); code "    \
  "and\n"                                                                                          \
  "                     data within a memory are one sequence, as a part's flash holds both\n"     \
  "  --memory-file FILE the memories of FILE, one a line in the same form ('#' starts a "          \
  "comment)\n"                                                                                     \
  "  --region-gap N     without memories, the inferred regions stand in for them: a new region\n"  \
  "                     where a step from one value to the next exceeds N (hexadecimal, at least " \
  "1;\n"                                                                                           \
  "                     0x10000 by default)\n"

// The options' values; false with the reason in *error (a memory file that cannot be read
// included).
bool ReadSizeOptions(const CommandLine& line, k8writers::SizeOptions* options, std::string* error);
