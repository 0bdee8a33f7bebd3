// SPDX-License-Identifier: MIT
// mapsyms report [--kind KIND]... [--all-kinds] [--region-gap N] [--title TEXT] [-o OUT] MAP
// [NEW_MAP]: one self-contained HTML page of the map's memory, or of what changed from MAP to
// NEW_MAP. The page is written by the writers shared with the Python package (tools/writers).
#include <string>

#include "commands.h"
#include "exit_codes.h"
#include "kinds.h"
#include "maps.h"
#include "messages.h"
#include "output_sink.h"
#include "report.h"
#include "size_options.h"

namespace {

bool CheckReport(const CommandLine& line, std::string* error) {
  k8writers::SizeOptions sizes;
  if (!ReadSizeOptions(line, &sizes, error)) return false;
  unsigned kinds;
  if (!ReadKinds(line, &kinds, error)) return false;
  if (line.operands.empty() || line.operands.size() > 2) {
    *error =
        line.operands.empty() ? "no map file given" : "report takes one map, or two to compare";
    return false;
  }
  return StandardInputOnce(line.operands, error);
}

int RunReport(const MapLibrary& lib, const CommandLine& line, Output& out) {
  k8writers::ReportOptions options;
  std::string error;
  ReadKinds(line, &options.kinds, &error, k8writers::ReportDefaultKinds());
  k8writers::SizeOptions sizes;
  ReadSizeOptions(line, &sizes, &error);
  options.region_gap = sizes.region_gap;
  options.memories = std::move(sizes.memories);
  options.title = line.Last("title");
  Maps maps(lib);
  if (!maps.Load(line.operands, true, false)) return kExitFile;
  std::vector<k8writers::MapSymbols> sources;
  for (std::size_t i = 0; i < maps.files().size(); ++i) {
    sources.push_back({maps.files()[i].path, maps.symbols(i), maps.symbol_count(i)});
  }
  const k8writers::MapSymbols* new_map = sources.size() > 1 ? &sources[1] : nullptr;
  std::string path = line.Last("output", "-");
  if (path == "-") {
    OutputSink sink(out);
    k8writers::WriteReport(sources[0], new_map, options, sink);
    return kExitOk;
  }
  k8writers::FileFailure failure;
  if (!k8writers::ReportToFile(sources[0], new_map, options, path, &failure)) {
    Say(failure.message);
    return kExitFile;
  }
  return kExitOk;
}

}  // namespace

const Command kReportCommand = {
    "report",
    "mapsyms report [--kind KIND]... [--all-kinds] [--memory NAME=START,SIZE]...\n"
    "                      [--memory-file FILE] [--region-gap N] [--title TEXT] [-o OUT]\n"
    "                      MAP [NEW_MAP]",
    R"help(Writes one HTML page of the map's memory, complete in itself (style, script and data inside;
nothing fetched), to open in a browser: at the top, how full each memory is (as mapsyms usage
says it: used, size, percent and a bar) and, with NEW_MAP, each memory's change and the symbols
that grew most (as mapsyms diff --sizes says them); then a summary (the maps, symbol counts by kind and scope,
the regions), the memory layout drawn to scale (zoom, hover, click), a table of the symbols
(search by substring or pattern, filters by kind and region, sorting by every column), and the
largest symbols by span. With NEW_MAP, the page is of NEW_MAP and also says what changed from
MAP: symbols added, removed and moved (and the records' counts, as mapsyms diff gives them),
each region's growth, a table of changes, the changed symbols marked in the layout. The view
(search, filters, sort, selection) is kept in the address's fragment: #q=uart&sort=-span.

Code (Func., Addr., loc.) and data (Var.) are laid out apart. Sorted by value, the symbols of
each fall into regions, a new one where a step from one value to the next exceeds the region
gap. A symbol's span is inferred from the map, which states no sizes, as export --sizes infers
it: an object (Func., Addr., Var.) spans to the next object of its region at a higher value, a
loc. label to the next label or object; the last of a region has none.

  --kind KIND        list the symbols of that kind (may be given more than once, as in the
                     listing); Addr., loc., Func. and Var. by default; only those four are
                     drawn as memory
  --all-kinds        list the symbols of every kind
)help" SIZE_OPTIONS_HELP
    R"help(  --title TEXT       the page's title (by default made from the maps' names)
  -o, --output OUT   write OUT (standard output by default), beside its final name first and
                     renamed into place when complete
  -h, --help         print this help

Exit 0 when the page was written, 2 when the command line is wrong, 3 when a map could not be
read or parsed or the page could not be written (no file is left then), 4 when the library
could not be loaded.
)help",
    {{"kind", 0, true},
     {"all-kinds", 0, false},
     {"memory", 0, true},
     {"memory-file", 0, true},
     {"region-gap", 0, true},
     {"title", 0, true},
     {"output", 'o', true},
     {"help", 'h', false},
     {"version", 'V', false}},
    CheckReport,
    RunReport,
};
