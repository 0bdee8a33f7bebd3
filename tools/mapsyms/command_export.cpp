// SPDX-License-Identifier: MIT
// mapsyms export --format elf|ld|h|sym MAP...: the maps' symbols as an ELF symbol file, a GNU
// linker script, a C header or a plain symbol list, for the tools engineers debug and link
// with. The writers are shared with the Python package (tools/writers).
#include <string>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "kinds.h"
#include "maps.h"
#include "messages.h"
#include "number.h"
#include "output_sink.h"
#include "symbol_export.h"

namespace {

using k8writers::ExportFormat;

constexpr const char* kElfOnly[] = {"machine", "big-endian", "sizes",
                                    "image",   "thumb",      "region-gap"};
constexpr std::uint16_t kArm = 0x28;

bool ToStandardOutput(const CommandLine& line) {
  return line.Last("output", "-") == "-";
}

bool CheckExport(const CommandLine& line, std::string* error) {
  ExportFormat format;
  if (!line.Has("format")) {
    *error = "export needs --format " + k8writers::FormatNames();
    return false;
  }
  if (!k8writers::ParseExportFormat(line.Last("format"), &format)) {
    *error = "unknown format '" + line.Last("format") + "' (" + k8writers::FormatNames() + ")";
    return false;
  }
  if (format == ExportFormat::kElf && ToStandardOutput(line)) {
    *error = "--format elf needs -o OUT: an ELF file is not written to standard output";
    return false;
  }
  for (const char* option : kElfOnly) {
    if (format != ExportFormat::kElf && line.Has(option)) {
      *error = std::string("--") + option + " is for --format elf only";
      return false;
    }
  }
  for (const std::string& scope : line.Values("scope")) {
    if (scope != "a" && scope != "g" && scope != "s") {
      *error = "unknown scope '" + scope + "' (a, g or s)";
      return false;
    }
  }
  std::uint16_t machine;
  if (line.Has("machine") && !k8writers::ParseMachine(line.Last("machine"), &machine)) {
    *error = "unknown machine '" + line.Last("machine") + "' (" + k8writers::MachineNames() +
             ", or a number in hexadecimal)";
    return false;
  }
  if (line.Has("thumb") && (!line.Has("machine") || machine != kArm)) {
    *error = "--thumb is for --machine arm";
    return false;
  }
  std::uint32_t gap;
  if (line.Has("region-gap") && !ParseNumber(line.Last("region-gap"), &gap)) {
    *error = "--region-gap takes a number: " + std::string(kNumberForms);
    return false;
  }
  unsigned kinds;
  if (!ReadKinds(line, &kinds, error)) return false;
  if (line.operands.empty()) {
    *error = "no map file given";
    return false;
  }
  return StandardInputOnce(line.operands, error);
}

// The options as the writers take them; false (said on standard error) when an image cannot be
// read or images overlap.
bool ReadOptions(const CommandLine& line, k8writers::ExportOptions* options, int* status) {
  k8writers::ParseExportFormat(line.Last("format"), &options->format);
  k8writers::ParseMachine(line.Last("machine", "none"), &options->machine);
  options->big_endian = line.Has("big-endian");
  options->sizes = line.Has("sizes");
  options->thumb = line.Has("thumb");
  if (line.Has("region-gap")) ParseNumber(line.Last("region-gap"), &options->region_gap);
  options->output_name = ToStandardOutput(line) ? "" : line.Last("output");
  std::string error;
  for (const std::string& given : line.Values("image")) {
    std::size_t at = given.rfind('@');
    std::uint32_t address;
    if (at == std::string::npos || at == 0 || !ParseNumber(given.substr(at + 1), &address)) {
      Say("--image takes FILE@ADDRESS, the address " + std::string(kNumberForms) + ": '" + given +
          "'");
      *status = kExitUsage;
      return false;
    }
    options->images.emplace_back();
    k8writers::FileFailure failure;
    if (!k8writers::ReadImageFile(given.substr(0, at), address, &options->images.back(),
                                  &failure)) {
      Say(failure.message);
      *status = kExitFile;
      return false;
    }
  }
  if (!k8writers::ImagesApart(options->images, &error)) {
    Say(error);
    *status = kExitUsage;
    return false;
  }
  return true;
}

int RunExport(const MapLibrary& lib, const CommandLine& line, Output& out) {
  k8writers::ExportOptions options;
  int status = kExitOk;
  if (!ReadOptions(line, &options, &status)) return status;
  k8writers::Selection selection = k8writers::DefaultSelection(options.format);
  std::string error;
  ReadKinds(line, &selection.kinds, &error, selection.kinds);
  if (line.Has("scope")) selection.scopes.clear();
  for (const std::string& scope : line.Values("scope")) selection.scopes += scope;
  selection.names = line.Values("name");
  Maps maps(lib);
  if (!maps.Load(line.operands, false, false)) return kExitFile;
  std::vector<k8writers::MapSymbols> sources;
  for (std::size_t i = 0; i < maps.files().size(); ++i) {
    options.map_names.push_back(maps.files()[i].path);
    sources.push_back({options.map_names.back(), maps.symbols(i), maps.symbol_count(i)});
  }
  std::vector<const MapSymbol*> symbols = k8writers::SelectSymbols(sources, selection);
  k8writers::ExportReport report;
  k8writers::FileFailure failure;
  bool written;
  if (ToStandardOutput(line)) {
    OutputSink sink(out);
    written = k8writers::WriteExport(symbols, options, sink, &report, &failure.message);
  } else {
    written = k8writers::ExportToFile(symbols, options, line.Last("output"), &report, &failure);
  }
  if (!written) {
    Say(failure.message);
    return kExitFile;
  }
  for (const std::string& line : k8writers::ReportLines(report)) Say(line);
  return kExitOk;
}

}  // namespace

const Command kExportCommand = {
    "export",
    "mapsyms export --format elf|ld|h|sym [--kind KIND]... [--all-kinds] [--scope a|g|s]...\n"
    "                      [--name PATTERN]... [--machine NAME|NUMBER] [--thumb] [--big-endian]\n"
    "                      [--sizes] [--region-gap N] [--image FILE@ADDR]... [-o OUT] MAP...",
    R"help(Writes the symbols of the maps (their symbols in order, as one) in a form other tools read:
  elf  a 32-bit ELF file of symbols (gdb, lldb, objdump, nm, disassemblers, ld -R): Func.,
       Addr. and loc. symbols are functions, Var. symbols objects, the other kinds absolute;
       scope g is global, s and a local. Each region of code (.text, .text.1, ...) and of
       variables (.data, .data.1, ...) is a section of its own, as mapsyms report cuts them,
       and a symbol inside an image lies in the image's section whatever its kind. A bit
       symbol keeps its byte value: ELF has no place for the bit number.
  ld   a GNU linker script of PROVIDE(name = 0x0000ABCD); lines
  h    a C header of #define NAME 0x0000ABCDu lines, in an include guard made from OUT's name;
       names that are no C identifiers, or that C or C++ reserve, are left out with a comment
  sym  "ABCD1234 name" lines sorted by value (stable), as emulators and debuggers load them
A name given again with another value (ld, h) is left out with a comment, the first value
kept, and the number left out is said on standard error.

  --format F          the format: elf, ld, h or sym
  --kind KIND         export the symbols of that kind (may be given more than once; as in
                      the listing); by default elf and ld take Addr., loc., Func., Var. and
                      EQU, sym the same without EQU, h the EQU symbols
  --all-kinds         export the symbols of every kind
  --scope a|g|s       only symbols of that scope (may be given more than once); by default
                      every scope, and for ld scope g only
  --name PATTERN      only symbols whose name matches, as in the listing
  --machine M         elf: the ELF machine, by name (none, 386, arm, riscv, avr, msp430, 8051,
                      xtensa, mips, ppc, sh, m68k, arc) or number (hexadecimal); none by
                      default
  --thumb             elf, with --machine arm: the code is Thumb (as on Cortex-M): functions'
                      values have bit 0 set, and mapping symbols mark where code and data
                      begin in an image, so that debuggers decode Thumb by themselves
  --big-endian        elf: a big-endian file (little-endian by default)
  --sizes             elf: each symbol's size as the map tells it: an object (Func., Addr.,
                      Var.) runs to the next object of its region or image at a higher
                      value, a loc. label to the next label or object; 0 where the map does
                      not tell (the last of a region or image); 0 for all without this option
  --region-gap N      elf: the largest step within a region (hexadecimal; 0x10000 by default)
  --image FILE@ADDR   elf: the bytes of a raw binary image at ADDR (hexadecimal), as section
                      .image0, .image1, ...; may be given more than once, images may not
                      overlap
  -o, --output OUT    write OUT (required for elf; standard output otherwise), beside its
                      final name first and renamed into place when complete
  -h, --help          print this help

Exit 0 when the symbols were written, 2 when the command line is wrong or images overlap, 3
when a map or an image could not be read or parsed or the output could not be written (no
file is left then), 4 when the library could not be loaded.
)help",
    {{"format", 0, true},
     {"kind", 0, true},
     {"all-kinds", 0, false},
     {"scope", 0, true},
     {"name", 0, true},
     {"machine", 0, true},
     {"big-endian", 0, false},
     {"sizes", 0, false},
     {"thumb", 0, false},
     {"region-gap", 0, true},
     {"image", 0, true},
     {"output", 'o', true},
     {"help", 'h', false},
     {"version", 'V', false}},
    CheckExport,
    RunExport,
};
