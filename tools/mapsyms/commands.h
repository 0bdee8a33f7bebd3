// SPDX-License-Identifier: MIT
// The commands of mapsyms, one file each; main.cpp chooses one by the first word.
#pragma once

#include <string>
#include <vector>

#include "command_line.h"
#include "library_loader.h"
#include "output.h"

struct Command {
  const char* name;  // the first word; the listing command has none
  const char* usage;
  const char* help;  // the options and operands, for --help
  std::vector<OptionSpec> options;
  // Checks the options together; false with the reason in *error.
  bool (*check)(const CommandLine& line, std::string* error);
  int (*run)(const MapLibrary& lib, const CommandLine& line, Output& out);
};

extern const Command kListCommand;
extern const Command kSymbolizeCommand;
extern const Command kDiffCommand;
extern const Command kCheckCommand;
extern const Command kExportCommand;
extern const Command kReportCommand;
extern const Command kUsageCommand;

// The help of the whole program: commands, options, address notation, exit codes.
extern const char* const kProgramHelp;
