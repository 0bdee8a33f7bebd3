// mapsyms [options] FILE...: the records of the files, filtered by name, sorted if asked,
// counted, or looked up by address.
#include <algorithm>
#include <cstring>
#include <numeric>

#include "commands.h"
#include "exit_codes.h"
#include "glob.h"
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
  std::vector<std::string> names;  // patterns: a record is kept when it matches any
  std::vector<std::uint32_t> lookups;
  std::uint32_t max_offset = 0xFFFFFFFFu;
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
  for (const std::string& text : line.Values("lookup")) {
    std::uint32_t address = 0;
    if (!ParseNumber(text, &address)) {
      *error = "not an address: '" + text + "'; addresses are " + kNumberForms;
      return false;
    }
    o->lookups.push_back(address);
  }
  if (line.Has("max-offset") && !ParseNumber(line.Last("max-offset"), &o->max_offset)) {
    *error = "not an offset: '" + line.Last("max-offset") + "'; offsets are " + kNumberForms;
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
  return true;
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

// Prints records one by one in the chosen format; with several files, with their file.
class RecordPrinter {
 public:
  RecordPrinter(Output& out, Format format, const std::vector<FileOutcome>& files)
      : out_(out), format_(format), files_(files), with_file_(files.size() > 1) {
    if (format_ == Format::kCsv) out_.Put(with_file_ ? "file,name,value\n" : "name,value\n");
    if (format_ == Format::kJson) out_.Put("[");
  }
  ~RecordPrinter() {
    if (format_ == Format::kJson) out_.Put(printed_ == 0 ? "]\n" : "\n]\n");
  }

  void Print(const char* name, std::uint32_t value, std::uint32_t file) {
    switch (format_) {
      case Format::kText: {
        if (with_file_ && file != heading_) {
          out_.Put("# " + ShowPath(files_[file].path) + "\n");
          heading_ = file;
        }
        std::size_t length = std::strlen(name);
        char* line = out_.Reserve(length + 12);
        WriteHex8(line, value);
        line[10] = '\t';
        std::memcpy(line + 11, name, length);
        line[11 + length] = '\n';
        break;
      }
      case Format::kCsv:
        if (with_file_) {
          PutCsvField(out_, files_[file].path);
          out_.Put(",");
        }
        PutCsvField(out_, name);
        out_.Put(",");
        PutHex8(out_, value);
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
        PutJsonString(out_, name);
        out_.Put(", \"value\": " + std::to_string(value) + ", \"hex\": \"");
        PutHex8(out_, value);
        out_.Put("\"}");
        break;
      }
    }
    ++printed_;
  }

 private:
  Output& out_;
  Format format_;
  const std::vector<FileOutcome>& files_;
  bool with_file_;
  std::uint32_t heading_ = 0xFFFFFFFFu;
  long long printed_ = 0;
};

void PrintCount(Output& out, Format format, long long count) {
  std::string n = std::to_string(count);
  if (format == Format::kText) out.Put(n + "\n");
  if (format == Format::kCsv) out.Put("count\n" + n + "\n");
  if (format == Format::kJson) out.Put("{\"count\": " + n + "}\n");
}

// The answers to the lookups, in the order asked; returns whether all were found.
bool PrintLookups(Output& out, const ListOptions& o, Maps& maps) {
  const RecordList& records = maps.records();
  std::vector<bool> keep;
  if (!o.names.empty()) {
    keep.resize(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) keep[i] = NameWanted(o, records[i].name);
  }
  AddressIndex index(SymbolsOf(records, keep));
  bool all_found = true;
  if (o.format == Format::kCsv) out.Put("address,name,offset\n");
  if (o.format == Format::kJson) out.Put("[");
  for (std::size_t i = 0; i < o.lookups.size(); ++i) {
    std::uint32_t address = o.lookups[i];
    const Symbol* found = index.Find(address, o.max_offset);
    all_found &= found != nullptr;
    std::uint32_t offset = found != nullptr ? address - found->value : 0;
    switch (o.format) {
      case Format::kText:
        if (found != nullptr) {
          PutSymbolAt(out, *found, address);
        } else {
          out.Put("??");
        }
        out.Put("\n");
        break;
      case Format::kCsv:
        PutHex8(out, address);
        out.Put(",");
        if (found != nullptr) {
          PutCsvField(out, found->name);
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
        out.Put("\", \"name\": ");
        if (found != nullptr) {
          PutJsonString(out, found->name);
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

void PrintSorted(Output& out, const ListOptions& o, Maps& maps) {
  const RecordList& records = maps.records();
  std::vector<std::uint32_t> order;
  order.reserve(records.size());
  for (std::uint32_t i = 0; i < records.size(); ++i) {
    if (NameWanted(o, records[i].name)) order.push_back(i);
  }
  if (o.sort == "value") {
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      return records[a].value < records[b].value;
    });
  } else {
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      return std::strcmp(records[a].name, records[b].name) < 0;
    });
  }
  RecordPrinter printer(out, o.format, maps.files());
  for (std::uint32_t i : order) printer.Print(records[i].name, records[i].value, records[i].file);
}

int RunList(const MapLibrary& lib, const CommandLine& line, Output& out) {
  ListOptions o;
  std::string error;
  ReadListOptions(line, &o, &error);  // checked before
  Maps maps(lib);
  bool loaded = maps.Load(line.operands);
  if (!o.lookups.empty()) {
    if (!loaded && !o.keep_going) {
      Say("no lookup answers: a file could not be read or parsed (--keep-going answers from "
          "the records read)");
      return kExitFile;
    }
    bool found = PrintLookups(out, o, maps);
    return !loaded ? kExitFile : found ? kExitOk : kExitNo;
  }
  if (o.count) {
    long long count = 0;
    if (o.names.empty()) {
      count = maps.count();
    } else {
      for (const SymbolRecord* r = maps.head(); r != nullptr; r = r->next) {
        count += NameWanted(o, r->name) ? 1 : 0;
      }
    }
    PrintCount(out, o.format, count);
  } else if (!o.sort.empty()) {
    PrintSorted(out, o, maps);
  } else {
    // The records' own chain, from the first: the layout hosts walk.
    RecordPrinter printer(out, o.format, maps.files());
    std::uint32_t file = 0;
    std::int32_t index = 0;
    const std::vector<FileOutcome>& files = maps.files();
    for (const SymbolRecord* r = maps.head(); r != nullptr; r = r->next, ++index) {
      while (file + 1 < files.size() && index >= files[file].end) ++file;
      if (NameWanted(o, r->name)) printer.Print(r->name, r->value, file);
    }
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
       mapsyms symbolize [--only] [--max-offset N] MAP [FILE...]
       mapsyms diff [--format F] OLD NEW
       mapsyms check FILE...

Reads symbol map files through the kestrum8_map library and prints their records.

Listing (no command word): the records of every FILE, in file order.
  --format text|csv|json  text: "0x%08X<TAB>name" lines (with several files, a "# FILE"
                          heading before each file's records); csv: name,value (and a file
                          column with several files); json: objects with name, value as a
                          number, hex as "0x%08X" (and file with several files)
  --name PATTERN          only records whose name matches; '*', '?' and [...] as in file names;
                          may be given more than once (a record matches any)
  --sort value|name       order by value or by name (stable; file order otherwise)
  --count                 print how many records would be printed
  --lookup ADDR           print the record at or nearest below ADDR as name+0xOFFSET (the first
                          in file order among equal values), or "??" when none; may be given
                          more than once, answered in order; --name applies first
  --max-offset N          with --lookup: an address more than N above its record is a miss
  --keep-going            with --lookup: answer from the records read when a file failed
  -V, --version           print the version of mapsyms and of the library
  -h, --help              print this help; COMMAND --help for a command's

  --count and --sort do not combine with --lookup. A file that fails is reported and the
  other files are still read; the listing holds the records read before the failure.

Commands:
  symbolize   annotate addresses in text (files or standard input) with their symbols
  diff        the records added, removed and moved between two map files
  check       the lines of map files that look like symbol entries but make no record

Addresses and offsets (ADDR, N) are hexadecimal, with or without 0x, any number of leading
zeros, at most 32 bits: 1000, 0x1000 and 0x00001000 are the same address.

Options take their value as --option VALUE or --option=VALUE.

Exit codes:
  0  success (diff: the maps are equal)
  1  the answer is no: a lookup missed, the maps differ, check found lines without a record
  2  the command line is wrong
  3  a file could not be read or parsed, or the output could not be written
  4  the library could not be loaded
)";
