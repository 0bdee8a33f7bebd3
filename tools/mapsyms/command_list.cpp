// SPDX-License-Identifier: MIT
// mapsyms [options] FILE...: the records of the files, filtered by name, sorted if asked,
// counted, or looked up by address.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <numeric>

#include "commands.h"
#include "exit_codes.h"
#include "glob.h"
#include "kinds.h"
#include "maps.h"
#include "messages.h"
#include "number.h"

namespace {

enum class Format { kText, kCsv, kJson };

bool ParseFormat(const std::string& text, Format* format) {
  if (text == "text") return *format = Format::kText, true;
  if (text == "csv") return *format = Format::kCsv, true;
  if (text == "json") return *format = Format::kJson, true;
  return false;
}

// The options of the listing command, read and checked together.
struct ListOptions {
  Format format = Format::kText;
  std::vector<std::string> names;  // patterns: a symbol is kept when it matches any
  unsigned kinds = kAddressKinds;  // bit k set: kind k is listed
  bool details = false;            // kind, scope, bit (and line) shown: --kind or --all-kinds
  std::vector<std::uint32_t> lookups;
  std::uint32_t max_offset = kDefaultMaxOffset;
  std::string sort;  // "", "value" or "name"
  bool count = false;
  bool keep_going = false;
};

bool ReadListOptions(const CommandLine& line, ListOptions* o, std::string* error) {
  if (line.Has("format") && !ParseFormat(line.Last("format"), &o->format)) {
    *error = "unknown format '" + line.Last("format") + "' (text, csv or json)";
    return false;
  }
  o->names = line.Values("name");
  if (!ReadKinds(line, &o->kinds, error)) return false;
  o->details = line.Has("kind") || line.Has("all-kinds");
  for (const std::string& text : line.Values("lookup")) {
    std::uint32_t address = 0;
    if (!ParseNumber(text, &address)) {
      *error = "not an address: '" + text + "'; addresses are " + kNumberForms;
      return false;
    }
    o->lookups.push_back(address);
  }
  if (line.Has("max-offset") && !ParseMaxOffset(line.Last("max-offset"), &o->max_offset)) {
    *error = "not an offset: '" + line.Last("max-offset") + "'; offsets are " + kNumberForms +
             ", or none";
    return false;
  }
  o->sort = line.Last("sort");
  if (line.Has("sort") && o->sort != "value" && o->sort != "name") {
    *error = "unknown sort '" + o->sort + "' (value or name)";
    return false;
  }
  o->count = line.Has("count");
  o->keep_going = line.Has("keep-going");
  // Options that would be ignored together are refused, naming both.
  const char* pairs[][2] = {{"count", "lookup"}, {"sort", "lookup"}};
  for (auto& pair : pairs) {
    if (line.Has(pair[0]) && line.Has(pair[1])) {
      *error = std::string("--") + pair[0] + " and --" + pair[1] + " cannot be combined";
      return false;
    }
  }
  for (const char* alone : {"max-offset", "keep-going"}) {
    if (line.Has(alone) && !line.Has("lookup")) {
      *error = std::string("--") + alone + " applies to --lookup only";
      return false;
    }
  }
  if (line.operands.empty()) {
    *error = "no map file given";
    return false;
  }
  return StandardInputOnce(line.operands, error);
}

bool CheckList(const CommandLine& line, std::string* error) {
  ListOptions options;
  return ReadListOptions(line, &options, error);
}

bool NameWanted(const ListOptions& o, const char* name) {
  if (o.names.empty()) return true;
  for (const std::string& pattern : o.names) {
    if (GlobMatch(pattern, name)) return true;
  }
  return false;
}

bool Wanted(const ListOptions& o, const MapSymbol& s) {
  return (o.kinds >> s.kind & 1u) != 0 && NameWanted(o, s.name);
}

// Prints symbols one by one in the chosen format; with several files, with their file; with
// details, with their kind, scope, bit and line.
class RecordPrinter {
 public:
  RecordPrinter(Output& out, Format format, const std::vector<FileOutcome>& files, bool details)
      : out_(out), format_(format), files_(files), with_file_(files.size() > 1), details_(details) {
    if (format_ == Format::kCsv) {
      out_.Put(with_file_ ? "file,name,value" : "name,value");
      out_.Put(details_ ? ",kind,scope,bit,line\n" : "\n");
    }
    if (format_ == Format::kJson) out_.Put("[");
  }
  ~RecordPrinter() {
    if (format_ == Format::kJson) out_.Put(printed_ == 0 ? "]\n" : "\n]\n");
  }

  void Print(const MapSymbol& s, std::uint32_t file) {
    switch (format_) {
      case Format::kText:
        if (with_file_ && file != heading_) {
          out_.Put("# " + ShowPath(files_[file].path) + "\n");
          heading_ = file;
        }
        if (details_) {
          PrintTextDetails(s);
        } else {
          std::size_t length = std::strlen(s.name);
          char* line = out_.Reserve(length + 12);
          WriteHex8(line, s.value);
          line[10] = '\t';
          std::memcpy(line + 11, s.name, length);
          line[11 + length] = '\n';
        }
        break;
      case Format::kCsv:
        if (with_file_) {
          PutCsvField(out_, files_[file].path);
          out_.Put(",");
        }
        PutCsvField(out_, s.name);
        out_.Put(",");
        PutHex8(out_, s.value);
        if (details_) {
          out_.Put(std::string(",") + kKindKeywords[s.kind] + "," + s.scope + "," +
                   (s.bit >= 0 ? std::to_string(s.bit) : "") + "," + std::to_string(s.line));
        }
        out_.Put("\n");
        break;
      case Format::kJson: {
        out_.Put(printed_ == 0 ? "\n  {" : ",\n  {");
        if (with_file_) {
          out_.Put("\"file\": ");
          PutJsonString(out_, files_[file].path);
          out_.Put(", ");
        }
        out_.Put("\"name\": ");
        PutJsonString(out_, s.name);
        out_.Put(", \"value\": " + std::to_string(s.value) + ", \"hex\": \"");
        PutHex8(out_, s.value);
        out_.Put("\"");
        if (details_) {
          out_.Put(std::string(", \"kind\": \"") + kKindKeywords[s.kind] + "\", \"scope\": \"" +
                   s.scope + "\", \"bit\": " + (s.bit >= 0 ? std::to_string(s.bit) : "null") +
                   ", \"line\": " + std::to_string(s.line));
        }
        out_.Put("}");
        break;
      }
    }
    ++printed_;
  }

 private:
  // "0x%08X<TAB>kind<TAB>scope<TAB>name", the value followed by "(d)" for a bit number, as the
  // map writes it.
  void PrintTextDetails(const MapSymbol& s) {
    PutHex8(out_, s.value);
    if (s.bit >= 0) out_.Put("(" + std::to_string(s.bit) + ")");
    out_.Put(std::string("\t") + kKindKeywords[s.kind] + "\t" + s.scope + "\t" + s.name + "\n");
  }

  Output& out_;
  Format format_;
  const std::vector<FileOutcome>& files_;
  bool with_file_;
  bool details_;
  std::uint32_t heading_ = 0xFFFFFFFFu;
  long long printed_ = 0;
};

void PrintCount(Output& out, Format format, long long count) {
  std::string n = std::to_string(count);
  if (format == Format::kText) out.Put(n + "\n");
  if (format == Format::kCsv) out.Put("count\n" + n + "\n");
  if (format == Format::kJson) out.Put("{\"count\": " + n + "}\n");
}

// With --name: of the symbols of the kinds asked for whose name is wanted, the one at or
// nearest below address (the first in file order among equal values), within max_offset. The
// lookups are few: each searches the symbols. *file is its file.
const MapSymbol* FindNamed(const ListOptions& o, const Maps& maps, std::uint32_t address,
                           std::uint32_t* file) {
  const MapSymbol* best = nullptr;
  for (std::uint32_t f = 0; f < maps.files().size(); ++f) {
    const MapSymbol* s = maps.symbols(f);
    for (std::size_t i = 0, n = maps.symbol_count(f); i < n; ++i) {
      if (Wanted(o, s[i]) && s[i].value <= address &&
          (best == nullptr || s[i].value > best->value)) {
        best = &s[i];
        *file = f;
      }
    }
  }
  return best != nullptr && address - best->value <= o.max_offset ? best : nullptr;
}

// The answers to the lookups, in the order asked; with several files, each answer names the
// file it came from. Returns whether all were found.
bool PrintLookups(Output& out, const ListOptions& o, Maps& maps) {
  const bool with_file = maps.files().size() > 1;
  bool all_found = true;
  if (o.format == Format::kCsv)
    out.Put(with_file ? "address,file,name,offset\n" : "address,name,offset\n");
  if (o.format == Format::kJson) out.Put("[");
  for (std::size_t i = 0; i < o.lookups.size(); ++i) {
    std::uint32_t address = o.lookups[i];
    const char* name = nullptr;
    std::uint32_t value = 0, file = 0;
    const MapSymbol* found = o.names.empty() ? maps.Find(address, o.max_offset, o.kinds, &file)
                                             : FindNamed(o, maps, address, &file);
    if (found != nullptr) name = found->name, value = found->value;
    all_found &= name != nullptr;
    const std::string& path = maps.files()[file].path;
    std::uint32_t offset = address - value;
    switch (o.format) {
      case Format::kText:
        if (name != nullptr) {
          if (with_file) out.Put(ShowPath(path) + ": ");
          PutSymbolAt(out, name, value, address);
        } else {
          out.Put("??");
        }
        out.Put("\n");
        break;
      case Format::kCsv:
        PutHex8(out, address);
        out.Put(",");
        if (with_file) {
          if (name != nullptr) PutCsvField(out, path);
          out.Put(",");
        }
        if (name != nullptr) {
          PutCsvField(out, name);
          out.Put("," + HexNumber(offset));
        } else {
          out.Put(",");
        }
        out.Put("\n");
        break;
      case Format::kJson:
        out.Put(i == 0 ? "\n  {\"address\": " : ",\n  {\"address\": ");
        out.Put(std::to_string(address) + ", \"hex\": \"");
        PutHex8(out, address);
        out.Put("\", ");
        if (with_file) {
          out.Put("\"file\": ");
          if (name != nullptr) {
            PutJsonString(out, path);
          } else {
            out.Put("null");
          }
          out.Put(", ");
        }
        out.Put("\"name\": ");
        if (name != nullptr) {
          PutJsonString(out, name);
          out.Put(", \"offset\": " + std::to_string(offset) + "}");
        } else {
          out.Put("null, \"offset\": null}");
        }
        break;
    }
  }
  if (o.format == Format::kJson) out.Put(o.lookups.empty() ? "]\n" : "\n]\n");
  return all_found;
}

// A symbol to print and its file.
struct Listed {
  const MapSymbol* symbol;
  std::uint32_t file;
};

void PrintSorted(Output& out, const ListOptions& o, const Maps& maps) {
  std::vector<Listed> order;
  for (std::uint32_t f = 0; f < maps.files().size(); ++f) {
    const MapSymbol* s = maps.symbols(f);
    for (std::size_t i = 0, n = maps.symbol_count(f); i < n; ++i) {
      if (Wanted(o, s[i])) order.push_back({&s[i], f});
    }
  }
  // Each file's symbols sorted among themselves, the files in the order given.
  if (o.sort == "value") {
    std::stable_sort(order.begin(), order.end(), [](const Listed& a, const Listed& b) {
      return a.file != b.file ? a.file < b.file : a.symbol->value < b.symbol->value;
    });
  } else {
    std::stable_sort(order.begin(), order.end(), [](const Listed& a, const Listed& b) {
      return a.file != b.file ? a.file < b.file : std::strcmp(a.symbol->name, b.symbol->name) < 0;
    });
  }
  RecordPrinter printer(out, o.format, maps.files(), o.details);
  for (const Listed& l : order) printer.Print(*l.symbol, l.file);
}

int RunList(const MapLibrary& lib, const CommandLine& line, Output& out) {
  ListOptions o;
  std::string error;
  ReadListOptions(line, &o, &error);  // checked before
  Maps maps(lib);
  bool loaded = maps.Load(line.operands);
  if (!o.lookups.empty()) {
    if (!loaded && !o.keep_going) {
      Say("no lookup answers: " + maps.Unread() + " (--keep-going answers from the records read)");
      return kExitFile;
    }
    bool found = PrintLookups(out, o, maps);
    return !loaded ? kExitFile : found ? kExitOk : kExitNo;
  }
  if (o.count) {
    long long count = 0;
    if (o.names.empty() && o.kinds == kAddressKinds) {
      count = maps.count();
    } else {
      for (std::uint32_t f = 0; f < maps.files().size(); ++f) {
        const MapSymbol* s = maps.symbols(f);
        for (std::size_t i = 0, n = maps.symbol_count(f); i < n; ++i) count += Wanted(o, s[i]);
      }
    }
    PrintCount(out, o.format, count);
  } else if (!o.sort.empty()) {
    PrintSorted(out, o, maps);
  } else {
    RecordPrinter printer(out, o.format, maps.files(), o.details);
    for (std::uint32_t f = 0; f < maps.files().size(); ++f) {
      const MapSymbol* s = maps.symbols(f);
      for (std::size_t i = 0, n = maps.symbol_count(f); i < n; ++i) {
        if (Wanted(o, s[i])) printer.Print(s[i], f);
      }
    }
  }
  if (!loaded && line.operands.size() > 1) {
    Say(maps.Unread() +
        "; the others were read and listed, and of each failed file the records "
        "before its failure");
  }
  return loaded ? kExitOk : kExitFile;
}

}  // namespace

const Command kListCommand = {
    "",
    "mapsyms [options] FILE...",
    "",
    {{"format", 0, true},
     {"count", 0, false},
     {"kind", 0, true},
     {"all-kinds", 0, false},
     {"lookup", 0, true},
     {"name", 0, true},
     {"sort", 0, true},
     {"max-offset", 0, true},
     {"keep-going", 0, false},
     {"version", 'V', false},
     {"help", 'h', false}},
    CheckList,
    RunList,
};

const char* const kProgramHelp =
    R"(usage: mapsyms [options] FILE...
       mapsyms symbolize [--only] [--bare] [--max-offset N|none] [--kind KIND]... [--all-kinds]
                         [--map MAP]... [MAP] [FILE...]
       mapsyms diff [--format F] OLD NEW
       mapsyms diff --sizes [options] OLD NEW
       mapsyms check FILE...
       mapsyms export --format elf|ld|h|sym [options] [-o OUT] MAP...
       mapsyms report [options] [-o OUT] MAP [NEW_MAP]
       mapsyms usage [--memory NAME=START,SIZE]... [--fail-above PCT] [options] MAP

Reads symbol map files through the kestrum8_map library and prints their records.

Listing (no command word): the records of every FILE, in file order. A FILE (or MAP) of "-"
is read from standard input, once; a map that yields no symbols is said on standard error.
  --format text|csv|json  text: "0x%08X<TAB>name" lines (with several files, a "# FILE"
                          heading before each file's records); csv: name,value (and a file
                          column with several files); json: objects with name, value as a
                          number, hex as "0x%08X" (and file with several files)
  --name PATTERN          only records whose name matches; '*', '?' and [...] (with ranges
                          and [!...]) as in file names; may be given more than once (a record
                          matches any)
  --kind KIND             list the symbols of that kind instead of the address ones (Addr.
                          and loc.): Addr., loc., EQU, bit, Func., Var. or arg., in any letter
                          case, the dot optional; may be given more than once
  --all-kinds             list the symbols of every kind
                          With --kind or --all-kinds each symbol shows its kind and scope
                          (text: "0x%08X<TAB>kind<TAB>scope<TAB>name", the value followed by
                          (d) for a bit number d); csv and json also carry kind, scope, bit
                          and the line of the entry's first line
  --sort value|name       order each file's records by value or by name (stable; file order
                          otherwise), the files in the order given
  --count                 print how many records would be printed
  --lookup ADDR           print the record at or nearest below ADDR as name+0xOFFSET (the first
                          in file order among equal values), or "??" when none; may be given
                          more than once, answered in order; --name, --kind and --all-kinds
                          apply first. With several files each answer names its file ("FILE:
                          name+0xOFFSET"; a file column in csv, a file field in json)
  --max-offset N          with --lookup: an address more than N above its record is a miss
                          (0x10000 without this option; "none" lifts the bound)
  --keep-going            with --lookup: answer from the records read when a file failed
  -V, --version           print the version of mapsyms and of the library
  -h, --help              print this help; COMMAND --help for a command's

  --count and --sort do not combine with --lookup. A file that fails is reported and the
  other files are still read; the listing holds the records read before the failure.

Commands:
  symbolize   annotate addresses in text (files or standard input) with their symbols
  diff        the records added, removed and moved between two map files; with --sizes,
              the symbols that grew, shrank, came and went, and each memory's change
  check       the lines of map files that look like symbol entries but make no record
  export      the symbols as an ELF file, a linker script, a C header or a symbol list
  report      one HTML page of the memory of a map, or of what changed between two
  usage       how full each memory is (used, size, percent), and a budget to fail a build on

Addresses and offsets (ADDR, N) are hexadecimal, with or without 0x, any number of leading
zeros, at most 32 bits: 1000, 0x1000 and 0x00001000 are the same address.

Options take their value as --option VALUE or --option=VALUE; -- ends the options.

Exit codes:
  0  success (diff: the maps are equal)
  1  the answer is no: a lookup missed, the maps differ, check found lines without a record,
     a memory is above usage's --fail-above
  2  the command line is wrong
  3  a file could not be read or parsed, or the output could not be written
  4  the library could not be loaded
)";
