// SPDX-License-Identifier: MIT
// The size views as mapsyms prints them: usage's lines as GNU ld lays them out, and diff
// --sizes' table of what grew, in text, CSV or JSON.
#pragma once

#include <string>

#include "command_line.h"
#include "memory_sizes.h"
#include "output.h"

enum class SizeFormat { kText, kCsv, kJson };

// --format's value (text by default); false with the reason in *error.
bool ParseSizeFormat(const CommandLine& line, SizeFormat* format, std::string* error);

void PrintUsage(Output& out, SizeFormat format, const k8writers::Usage& usage);
// The rows, at most top of them (0: all), and the totals.
void PrintSizeDiff(Output& out, SizeFormat format, const k8writers::SizeDiff& diff,
                   std::size_t top);
