// SPDX-License-Identifier: MIT
// mapsyms diff [--format text|csv|json] OLD NEW: the records removed from OLD, added in NEW and
// moved (same name, other value), and a summary. A name that occurs more than once in a file is
// matched occurrence by occurrence in file order, and its changes say which occurrence.
#include <charconv>
#include <cstring>
#include <string_view>

#include "commands.h"
#include "diff_pairing.h"
#include "exit_codes.h"
#include "kinds.h"
#include "maps.h"
#include "messages.h"
#include "size_options.h"
#include "size_views.h"

namespace {

using Format = SizeFormat;

struct Totals {
  long long added = 0, removed = 0, moved = 0, unchanged = 0;
};

std::string Difference(std::uint32_t from, std::uint32_t to) {
  return to >= from ? "+" + HexNumber(to - from) : "-" + HexNumber(from - to);
}

class DiffPrinter {
 public:
  DiffPrinter(Output& out, Format format, const RecordList& records)
      : out_(out), format_(format), records_(records) {
    if (format_ == Format::kCsv) out_.Put("change,name,occurrence,old,new,difference\n");
    if (format_ == Format::kJson) out_.Put("{\"changes\": [");
  }

  void Print(std::uint32_t i, const Entry& e) {
    const Record& r = records_[i];
    bool moved = e.change == kMoved;
    std::uint32_t old_value = e.change == kAdded ? 0 : r.value;
    std::uint32_t new_value = moved ? records_[e.partner].value : r.value;
    const char* what = k8writers::kChangeNames[e.change];
    std::string occurrence = format_ == Format::kText ? "" : std::to_string(e.occurrence);
    switch (format_) {
      case Format::kText:
        PrintText(r, e, old_value, new_value);
        break;
      case Format::kCsv:
        out_.Put(std::string(what) + ",");
        PutCsvField(out_, r.name);
        out_.Put("," + occurrence + ",");
        if (e.change != kAdded) PutHex8(out_, old_value);
        out_.Put(",");
        if (e.change != kRemoved) PutHex8(out_, new_value);
        out_.Put("," + (moved ? Difference(old_value, new_value) : std::string()) + "\n");
        break;
      case Format::kJson:
        out_.Put(std::string(printed_ == 0 ? "\n" : ",\n") + "  {\"change\": \"" + what +
                 "\", \"name\": ");
        PutJsonString(out_, r.name);
        out_.Put(", \"occurrence\": " + occurrence);
        if (e.change != kAdded) out_.Put(", \"old\": " + std::to_string(old_value));
        if (e.change != kRemoved) out_.Put(", \"new\": " + std::to_string(new_value));
        if (moved) {
          long long difference = static_cast<long long>(new_value) - old_value;
          out_.Put(", \"difference\": " + std::to_string(difference));
        }
        out_.Put("}");
        break;
    }
    ++printed_;
  }

  void Summary(const Totals& t) {
    std::string added = std::to_string(t.added), removed = std::to_string(t.removed);
    std::string moved = std::to_string(t.moved), unchanged = std::to_string(t.unchanged);
    if (format_ == Format::kText) {
      out_.Put(added + " added, " + removed + " removed, " + moved + " moved, " + unchanged +
               " unchanged\n");
    }
    if (format_ == Format::kJson) {
      out_.Put(std::string(printed_ == 0 ? "]" : "\n]") + ",\n \"summary\": {\"added\": " + added +
               ", \"removed\": " + removed + ", \"moved\": " + moved +
               ", \"unchanged\": " + unchanged + "}}\n");
    }
  }

 private:
  // A text line, written straight into a buffer: a diff of large maps prints many thousands.
  void PrintText(const Record& r, const Entry& e, std::uint32_t old_value,
                 std::uint32_t new_value) {
    char line[384];  // the longest: a moved repeated name of 255 bytes
    char* at = line;
    auto put = [&at](std::string_view text) {
      std::memcpy(at, text.data(), text.size());
      at += text.size();
    };
    *at++ = e.change == kRemoved ? '-' : e.change == kAdded ? '+' : '~';
    *at++ = ' ';
    WriteHex8(at, e.change == kAdded ? new_value : old_value);
    at += 10;
    if (e.change == kMoved) {
      put(" -> ");
      WriteHex8(at, new_value);
      at += 10;
      put(" (");
      *at++ = new_value >= old_value ? '+' : '-';
      at = WriteHexNumber(at,
                          new_value >= old_value ? new_value - old_value : old_value - new_value);
      *at++ = ')';
    }
    *at++ = ' ';
    put(r.name);
    if (e.repeated) {
      put(" (occurrence ");
      at = std::to_chars(at, line + sizeof line, static_cast<std::uint32_t>(e.occurrence)).ptr;
      *at++ = ')';
    }
    *at++ = '\n';
    out_.Put({line, static_cast<std::size_t>(at - line)});
  }

  Output& out_;
  Format format_;
  const RecordList& records_;
  long long printed_ = 0;
};

// The options that only diff --sizes takes.
constexpr const char* kSizeOnlyOptions[] = {"kind",   "all-kinds",   "top",
                                            "memory", "memory-file", "region-gap"};

bool ReadTop(const CommandLine& line, std::size_t* top) {
  std::string text = line.Last("top", "0");
  *top = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || *top > 100000000) return false;
    *top = *top * 10 + static_cast<std::size_t>(c - '0');
  }
  return !text.empty();
}

bool CheckSizes(const CommandLine& line, std::string* error) {
  if (!line.Has("sizes")) {
    for (const char* option : kSizeOnlyOptions) {
      if (line.Has(option)) {
        *error = "--" + std::string(option) + " is an option of diff --sizes";
        return false;
      }
    }
    return true;
  }
  unsigned kinds;
  std::size_t top;
  k8writers::SizeOptions options;
  if (!ReadKinds(line, &kinds, error, k8writers::ObjectKinds())) return false;
  if (!ReadTop(line, &top)) {
    *error = "--top takes a decimal number of rows (0: all)";
    return false;
  }
  if (line.Has("keep-going")) {
    *error = "--keep-going does not combine with --sizes";
    return false;
  }
  return ReadSizeOptions(line, &options, error);
}

// diff --sizes: what grew, shrank, came and went, largest change first.
int RunDiffSizes(const MapLibrary& lib, const CommandLine& line, Output& out) {
  Format format = Format::kText;
  std::string error;
  ParseSizeFormat(line, &format, &error);
  unsigned kinds = 0;
  ReadKinds(line, &kinds, &error, k8writers::ObjectKinds());
  std::size_t top = 0;
  ReadTop(line, &top);
  k8writers::SizeOptions options;
  ReadSizeOptions(line, &options, &error);
  Maps maps(lib);
  if (!maps.Load(line.operands, true, false)) return kExitFile;
  k8writers::MapSymbols old_map{maps.files()[0].path, maps.symbols(0), maps.symbol_count(0)};
  k8writers::MapSymbols new_map{maps.files()[1].path, maps.symbols(1), maps.symbol_count(1)};
  k8writers::SizeDiff diff = k8writers::DiffSizes(old_map, new_map, kinds, options);
  PrintSizeDiff(out, format, diff, top);
  return diff.rows.empty() ? kExitOk : kExitNo;
}

bool CheckDiff(const CommandLine& line, std::string* error) {
  Format format;
  if (!ParseSizeFormat(line, &format, error) || !CheckSizes(line, error)) return false;
  if (line.operands.size() != 2) {
    *error = "diff needs two map files, OLD and NEW";
    return false;
  }
  return StandardInputOnce(line.operands, error);
}

int RunDiff(const MapLibrary& lib, const CommandLine& line, Output& out) {
  if (line.Has("sizes")) return RunDiffSizes(lib, line, out);
  Format format = Format::kText;
  std::string error;
  ParseSizeFormat(line, &format, &error);
  Maps maps(lib);
  bool loaded = maps.Load(line.operands, true);  // both maps at once
  if (!loaded && !line.Has("keep-going")) {
    Say("no comparison: " + maps.Unread() + " (--keep-going compares the records read)");
    return kExitFile;
  }
  auto old_end = static_cast<std::size_t>(maps.files()[0].end);
  const RecordList& records = maps.records();
  std::vector<Entry> entries = PairByName(records, old_end);
  Totals totals;
  DiffPrinter printer(out, format, records);
  for (std::size_t i = 0; i < old_end; ++i) {
    Change c = entries[i].change;
    totals.removed += c == kRemoved;
    totals.moved += c == kMoved;
    totals.unchanged += c == kSame;
    if (c != kSame) printer.Print(static_cast<std::uint32_t>(i), entries[i]);
  }
  for (std::size_t i = old_end; i < records.size(); ++i) {
    if (entries[i].change != kAdded) continue;
    ++totals.added;
    printer.Print(static_cast<std::uint32_t>(i), entries[i]);
  }
  printer.Summary(totals);
  bool equal = totals.added + totals.removed + totals.moved == 0;
  return !loaded ? kExitFile : equal ? kExitOk : kExitNo;
}

}  // namespace

const Command kDiffCommand = {
    "diff",
    "mapsyms diff [--format text|csv|json] [--keep-going] OLD NEW\n"
    "       mapsyms diff --sizes [--kind KIND]... [--all-kinds] [--top N] [--memory "
    "NAME=START,SIZE]...\n"
    "                    [--memory-file FILE] [--region-gap N] [--format text|csv|json] OLD NEW",
    R"(Compares the records of two map files by name: the records removed (in OLD only), added
(in NEW only) and moved (the same name with another value, and the difference). A name that
occurs more than once in a file is matched occurrence by occurrence in file order; its changes
say which occurrence. Removed and moved records come in OLD's order, added ones in NEW's, then
a summary of the counts. A map that cannot be read or parsed stops the comparison unless
--keep-going asks for it with the records read. Exit 0 when the records are the same, 1 when
they differ, 2 when the command line is wrong, 3 when a map could not be read or parsed (or the
output written), 4 when the library could not be loaded.

  --format text|csv|json  text: "- 0x%08X name", "+ 0x%08X name", "~ 0x%08X -> 0x%08X
                          (+0xDIFF) name" and a summary line; csv: change,name,occurrence,
                          old,new,difference rows; json: {"changes": [...], "summary": {...}}
  --keep-going            compare the records read when a map failed (exit 3 all the same)
  -h, --help              print this help

With --sizes, compares the symbols' sizes instead: each symbol whose size changed (grew or
shrank, in place or not), and those added and removed, the largest change first, then each
memory's used bytes before and after (without memories, each inferred region of NEW held to
the regions of OLD that cover its addresses: a region that split shows what it was, one that is
gone or new says so), then the counts. Sizes are inferred as mapsyms report --help says; a
symbol whose size one map does not tell is left out and counted. Symbols pair by name; a name
that occurs more than once (statics, labels) pairs a label by the object that holds it and its
order in it, anything else by its order among its name's. Exit 0 when no size changed, 1 when
one did.

  --kind KIND        the symbols of that kind (may be given more than once); Addr., Func. and
                     Var. by default (a label's size is part of its object's)
  --all-kinds        the symbols of every kind with an address
  --top N            print the N largest changes only (the totals stay whole)
)" SIZE_OPTIONS_HELP
    R"(  --format text|csv|json  text: "CHANGE OLD NEW ADDRESS KIND SYMBOL" rows, the totals and
                          the counts; csv: change,name,kind,old_value,new_value,old_size,
                          new_size,delta rows; json: {"symbols": [...], "totals": [...]}
)",
    {{"format", 0, true},
     {"keep-going", 0, false},
     {"sizes", 0, false},
     {"kind", 0, true},
     {"all-kinds", 0, false},
     {"top", 0, true},
     {"memory", 0, true},
     {"memory-file", 0, true},
     {"region-gap", 0, true},
     {"help", 'h', false},
     {"version", 'V', false}},
    CheckDiff,
    RunDiff,
};
