// SPDX-License-Identifier: MIT
// mapsyms usage [--memory NAME=START,SIZE]... [--memory-file FILE] [--region-gap N]
// [--fail-above PCT] [--format text|csv|json] MAP: how full each memory is, laid out as GNU ld's
// --print-memory-usage, and a budget a build can be failed on.
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "exit_codes.h"
#include "maps.h"
#include "messages.h"
#include "size_options.h"
#include "size_views.h"

namespace {

bool ReadFailAbove(const CommandLine& line, double* percent) {
  std::string text = line.Last("fail-above");
  char* end = nullptr;
  *percent = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size() && *percent >= 0 && *percent <= 100;
}

bool CheckUsage(const CommandLine& line, std::string* error) {
  k8writers::SizeOptions options;
  if (!ReadSizeOptions(line, &options, error)) return false;
  SizeFormat format;
  if (!ParseSizeFormat(line, &format, error)) return false;
  double percent;
  if (line.Has("fail-above") && !ReadFailAbove(line, &percent)) {
    *error = "--fail-above takes a percentage from 0 to 100 (90, 97.5)";
    return false;
  }
  if (line.Has("fail-above") && options.memories.empty()) {
    *error = "--fail-above needs the memories' sizes: --memory or --memory-file";
    return false;
  }
  if (line.operands.size() != 1) {
    *error = line.operands.empty() ? "no map file given" : "usage takes one map";
    return false;
  }
  return true;
}

int RunUsage(const MapLibrary& lib, const CommandLine& line, Output& out) {
  k8writers::SizeOptions options;
  std::string error;
  ReadSizeOptions(line, &options, &error);
  SizeFormat format = SizeFormat::kText;
  ParseSizeFormat(line, &format, &error);
  Maps maps(lib);
  if (!maps.Load(line.operands, false, false)) return kExitFile;
  k8writers::MapSymbols map{maps.files()[0].path, maps.symbols(0), maps.symbol_count(0)};
  k8writers::Usage usage = k8writers::MeasureUsage(k8writers::AddressSymbols(map), options);
  PrintUsage(out, format, usage);
  if (!line.Has("fail-above")) return kExitOk;
  double limit = 0;
  ReadFailAbove(line, &limit);
  int status = kExitOk;
  for (const k8writers::MemoryUse& use : usage.memories) {
    if (use.Percent() <= limit) continue;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f%% used, above %g%%", use.Percent(), limit);
    out.Flush();
    Say(use.name + " is " + text);
    status = kExitNo;
  }
  return status;
}

}  // namespace

const Command kUsageCommand = {
    "usage",
    "mapsyms usage [--memory NAME=START,SIZE]... [--memory-file FILE] [--region-gap N]\n"
    "                     [--fail-above PCT] [--format text|csv|json] MAP",
    R"help(Prints how full each memory of the map's program is, one line a memory, laid out as GNU ld's
--print-memory-usage: the memory, its used size, its size and the percentage used. A memory's
used size runs from its start to the end of its highest symbol; the map states no sizes, so a
symbol's size is inferred (an object runs to the next object at a higher value; see mapsyms
report --help), and where the highest symbol's size is not known it is counted to its value and
the output says so. Symbols outside every named memory are named after the lines. Without
memories, the regions inferred from the map stand in for them (their size is not known).

)help" SIZE_OPTIONS_HELP
    R"help(  --fail-above PCT   exit 1 when a memory is more than PCT percent used, naming it on standard
                     error (for a build's budget; needs --memory or --memory-file)
  --format text|csv|json
                     text: the lines above and notes; csv: memory,start,size,used,free,percent,
                     symbols,unsized_top rows; json: {"memories": [...], "outside": [...]}
  -h, --help         print this help

Exit 0 when the usage was printed (and no memory is above --fail-above), 1 when one is, 2 when
the command line is wrong, 3 when the map could not be read or parsed, 4 when the library could
not be loaded.
)help",
    {{"memory", 0, true},
     {"memory-file", 0, true},
     {"region-gap", 0, true},
     {"fail-above", 0, true},
     {"format", 0, true},
     {"help", 'h', false},
     {"version", 'V', false}},
    CheckUsage,
    RunUsage,
};
