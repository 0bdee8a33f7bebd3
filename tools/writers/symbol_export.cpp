// SPDX-License-Identifier: MIT
#include "symbol_export.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "file_replace.h"
#include "format_writers.h"
#include "glob.h"
#include "hex_digits.h"
#include "large_pages.h"
#include "run_beside.h"
#include "wide_paths.h"

namespace k8writers {

namespace {

constexpr unsigned Kinds(std::initializer_list<int> kinds) {
  unsigned mask = 0;
  for (int kind : kinds) mask |= K8MAP_KIND_MASK(kind);
  return mask;
}

constexpr unsigned kCodeAndDataKinds =
    Kinds({K8MAP_KIND_ADDR, K8MAP_KIND_LOC, K8MAP_KIND_FUNC, K8MAP_KIND_VAR});

struct FormatInfo {
  const char* name;
  ExportFormat format;
  unsigned kinds;
  const char* scopes;
};

constexpr FormatInfo kFormats[] = {
    {"elf", ExportFormat::kElf, kCodeAndDataKinds | K8MAP_KIND_MASK(K8MAP_KIND_EQU), ""},
    {"ld", ExportFormat::kLinkerScript, kCodeAndDataKinds | K8MAP_KIND_MASK(K8MAP_KIND_EQU), "g"},
    {"h", ExportFormat::kHeader, K8MAP_KIND_MASK(K8MAP_KIND_EQU), ""},
    {"sym", ExportFormat::kSymbolList, kCodeAndDataKinds, ""},
};

struct MachineName {
  const char* name;
  std::uint16_t number;
};

constexpr MachineName kMachines[] = {
    {"none", 0},     {"386", 3},    {"arm", 40},    {"riscv", 243}, {"avr", 83},
    {"msp430", 105}, {"8051", 165}, {"xtensa", 94}, {"mips", 8},    {"ppc", 20},
    {"sh", 42},      {"m68k", 4},   {"arc", 93},
};

bool Selected(const MapSymbol& symbol, const Selection& selection) {
  if ((selection.kinds & K8MAP_KIND_MASK(symbol.kind)) == 0) return false;
  if (!selection.scopes.empty() && selection.scopes.find(symbol.scope) == std::string::npos) {
    return false;
  }
  if (selection.names.empty()) return true;
  for (const std::string& pattern : selection.names) {
    if (GlobMatch(pattern, symbol.name)) return true;
  }
  return false;
}

// Symbols from this many on are chosen on two threads.
constexpr std::size_t kHalvedFrom = std::size_t{1} << 16;

// Chooses from the symbols [begin, end) of the maps taken one after another, into chosen;
// returns how many it chose.
std::size_t SelectRange(const std::vector<MapSymbols>& maps, const Selection& selection,
                        std::size_t begin, std::size_t end, const MapSymbol** chosen) {
  std::size_t count = 0, first = 0;
  for (const MapSymbols& map : maps) {
    std::size_t from = std::max(begin, first), to = std::min(end, first + map.count);
    for (std::size_t i = from; i < to; ++i) {
      const MapSymbol& symbol = map.symbols[i - first];
      if (Selected(symbol, selection)) chosen[count++] = &symbol;
    }
    first += map.count;
  }
  return count;
}

}  // namespace

std::string MachineNames() {
  std::string names;
  for (const MachineName& known : kMachines)
    names += (names.empty() ? "" : ", ") + std::string(known.name);
  return names;
}

bool ParseExportFormat(std::string_view text, ExportFormat* format) {
  for (const FormatInfo& info : kFormats) {
    if (text == info.name) {
      *format = info.format;
      return true;
    }
  }
  return false;
}

std::string FormatNames() {
  std::string names;
  constexpr std::size_t kCount = sizeof kFormats / sizeof kFormats[0];
  for (std::size_t at = 0; at < kCount; ++at) {
    names += std::string(at == 0 ? "" : at + 1 == kCount ? " or " : ", ") + kFormats[at].name;
  }
  return names;
}

Selection DefaultSelection(ExportFormat format) {
  for (const FormatInfo& info : kFormats) {
    if (info.format == format) return {info.kinds, info.scopes, {}};
  }
  return {};
}

std::vector<const MapSymbol*> SelectSymbols(const std::vector<MapSymbols>& maps,
                                            const Selection& selection) {
  std::size_t total = 0;
  for (const MapSymbols& map : maps) total += map.count;
  std::vector<const MapSymbol*> chosen;
  SizeOnLargePages(chosen, total);
  // Many symbols are chosen in two halves at once, the second beside this thread into the second
  // half of chosen, then moved down behind the first's.
  std::size_t half = total >= kHalvedFrom ? total / 2 : total, second = 0;
  std::jthread helper;
  if (half < total) {
    helper = RunBeside(
        [&] { second = SelectRange(maps, selection, half, total, chosen.data() + half); });
  }
  std::size_t count = SelectRange(maps, selection, 0, half, chosen.data());
  if (helper.joinable()) helper.join();
  std::copy(chosen.begin() + static_cast<std::ptrdiff_t>(half),
            chosen.begin() + static_cast<std::ptrdiff_t>(half + second),
            chosen.begin() + static_cast<std::ptrdiff_t>(count));
  chosen.resize(count + second);
  return chosen;
}

bool ParseMachine(std::string_view text, std::uint16_t* machine) {
  for (const MachineName& known : kMachines) {
    if (text == known.name) {
      *machine = known.number;
      return true;
    }
  }
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  if (text.empty()) return false;
  unsigned number = 0;
  for (char c : text) {
    int digit = HexDigitValue(static_cast<unsigned char>(c));
    if (digit < 0) return false;
    number = number * 16 + static_cast<unsigned>(digit);
    if (number > 0xFFFF) return false;
  }
  *machine = static_cast<std::uint16_t>(number);
  return true;
}

bool ReadImageFile(const std::string& path, std::uint32_t address, Image* image,
                   FileFailure* failure) {
  image->path = path;
  image->address = address;
  std::FILE* file = OpenForReading(path);
  if (file == nullptr) {
    *failure = {"cannot read image " + path + ": " + std::strerror(errno), errno};
    return false;
  }
  unsigned char block[1 << 16];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
    image->bytes.insert(image->bytes.end(), block, block + got);
  }
  bool failed = std::ferror(file) != 0;
  int reason = errno;
  std::fclose(file);
  if (failed) {
    *failure = {"cannot read image " + path + ": " + std::strerror(reason), reason};
    return false;
  }
  if (image->bytes.empty()) {
    *failure = {"image " + path + " is empty", 0};
    return false;
  }
  if (static_cast<std::uint64_t>(address) + image->bytes.size() > 0x100000000u) {
    *failure = {
        "image " + path + " at " + Hex8(address) + " runs past the end of the 32-bit address space",
        0};
    return false;
  }
  return true;
}

bool WriteExport(const std::vector<const MapSymbol*>& symbols, const ExportOptions& options,
                 ByteSink& sink, ExportReport* report, std::string* error) {
  switch (options.format) {
    case ExportFormat::kElf:
      return WriteElf(symbols, options, sink, report, error);
    case ExportFormat::kLinkerScript:
      WriteLinkerScript(symbols, options, sink, report);
      return true;
    case ExportFormat::kHeader:
      WriteHeader(symbols, options, sink, report);
      return true;
    case ExportFormat::kSymbolList:
      WriteSymbolList(symbols, sink);
      return true;
  }
  return false;
}

bool ExportToFile(const std::vector<const MapSymbol*>& symbols, const ExportOptions& options,
                  const std::string& path, ExportReport* report, FileFailure* failure) {
  ReplacingFile file;
  if (!file.Open(path, failure)) return false;
  if (!WriteExport(symbols, options, file, report, &failure->message)) {
    file.Abandon();
    failure->system = 0;
    return false;
  }
  return file.Commit(failure);
}

std::vector<std::string> ReportLines(const ExportReport& report) {
  std::vector<std::string> lines;
  if (report.conflicts > 0) {
    lines.push_back(std::to_string(report.conflicts) +
                    (report.conflicts == 1 ? " symbol was" : " symbols were") +
                    " left out: a name given before with another value (the first value is "
                    "written)");
  }
  if (report.repeated_globals > 0) {
    lines.push_back(std::to_string(report.repeated_globals) +
                    (report.repeated_globals == 1 ? " global name was" : " global names were") +
                    " given again with another value: the file holds each, and a linker "
                    "reading it sees the name defined more than once");
  }
  for (const std::string& image : report.empty_images) {
    lines.push_back("image " + image + " holds no symbol of the maps: is its address right?");
  }
  return lines;
}

}  // namespace k8writers
