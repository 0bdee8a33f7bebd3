// mapsyms diff [--format text|csv|json] OLD NEW: the records removed from OLD, added in NEW and
// moved (same name, other value), and a summary. A name that occurs more than once in a file is
// matched occurrence by occurrence in file order, and its changes say which occurrence.
#include <cstring>
#include <string_view>

#include "commands.h"
#include "exit_codes.h"
#include "maps.h"
#include "messages.h"

namespace {

enum class Format { kText, kCsv, kJson };

// The names of both files, each once, with its occurrences in each file chained in file
// order. An open-addressing table of 64-bit name hashes; names are compared only where the
// hashes agree. The table is filled record by record with the slots and names of records a few
// places ahead asked for early, since every one is somewhere else in memory.
class NameTable {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  struct Name {
    std::uint32_t head[2] = {kNone, kNone};  // first occurrence in OLD, in NEW
    std::uint32_t tail[2] = {kNone, kNone};
    std::uint32_t count[2] = {0, 0};
  };

  // records[0, old_end) are OLD's, the rest NEW's.
  NameTable(const std::vector<Record>& records, std::size_t old_end)
      : records_(records), next_(records.size(), kNone) {
    std::size_t capacity = 16;
    while (capacity < 2 * records.size()) capacity *= 2;
    hashes_.assign(capacity, 0);
    slots_.assign(capacity, kNone);
    names_.reserve(records.size() / 2);
    std::vector<std::uint64_t> hashes(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) hashes[i] = Hash(records[i].name);
    constexpr std::size_t kAhead = 16;
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (i + kAhead < records.size()) Prefetch(&slots_[Home(hashes[i + kAhead])]);
      std::uint32_t name = Insert(hashes[i], records[i].name);
      int file = i < old_end ? 0 : 1;
      Name& n = names_[name];
      auto index = static_cast<std::uint32_t>(i);
      if (n.head[file] == kNone) {
        n.head[file] = index;
      } else {
        next_[n.tail[file]] = index;
      }
      n.tail[file] = index;
      ++n.count[file];
    }
  }

  const std::vector<Name>& names() const { return names_; }
  std::uint32_t Next(std::uint32_t i) const { return next_[i]; }

 private:
  static std::uint64_t Hash(const char* name) {
    std::uint64_t hash = 14695981039346656037u;
    for (; *name != '\0'; ++name)
      hash = (hash ^ static_cast<unsigned char>(*name)) * 1099511628211u;
    return hash ^ (hash >> 29);
  }
  std::size_t Home(std::uint64_t hash) const { return hash & (slots_.size() - 1); }
  static void Prefetch(const void* p) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
  }

  // The name's index in names_, added when new.
  std::uint32_t Insert(std::uint64_t hash, const char* name) {
    std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = Home(hash);; slot = (slot + 1) & mask) {
      if (slots_[slot] == kNone) {
        slots_[slot] = static_cast<std::uint32_t>(names_.size());
        hashes_[slot] = hash;
        names_.emplace_back();
        first_name_.push_back(name);
        return slots_[slot];
      }
      if (hashes_[slot] == hash && std::strcmp(first_name_[slots_[slot]], name) == 0) {
        return slots_[slot];
      }
    }
  }

  const std::vector<Record>& records_;
  std::vector<std::uint32_t> next_;
  std::vector<std::uint64_t> hashes_;
  std::vector<std::uint32_t> slots_;
  std::vector<Name> names_;
  std::vector<const char*> first_name_;
};

enum Change : std::uint8_t { kSame, kRemoved, kAdded, kMoved };

struct Entry {
  Change change = kSame;
  std::uint32_t partner = NameTable::kNone;  // the matched record in the other file
  std::uint32_t occurrence = 1;              // which occurrence of its name in its file
  bool repeated = false;                     // the name occurs more than once in either file
};

struct Totals {
  long long added = 0, removed = 0, moved = 0, unchanged = 0;
};

std::string Difference(std::uint32_t from, std::uint32_t to) {
  return to >= from ? "+" + HexNumber(to - from) : "-" + HexNumber(from - to);
}

class DiffPrinter {
 public:
  DiffPrinter(Output& out, Format format, const std::vector<Record>& records)
      : out_(out), format_(format), records_(records) {
    if (format_ == Format::kCsv) out_.Put("change,name,occurrence,old,new,difference\n");
    if (format_ == Format::kJson) out_.Put("{\"changes\": [");
  }

  void Print(std::uint32_t i, const Entry& e) {
    const Record& r = records_[i];
    bool moved = e.change == kMoved;
    std::uint32_t old_value = e.change == kAdded ? 0 : r.value;
    std::uint32_t new_value = moved ? records_[e.partner].value : r.value;
    const char* what = e.change == kRemoved ? "removed" : e.change == kAdded ? "added" : "moved";
    std::string occurrence = std::to_string(e.occurrence);
    switch (format_) {
      case Format::kText: {
        char sign = e.change == kRemoved ? '-' : e.change == kAdded ? '+' : '~';
        out_.Put(std::string(1, sign) + " ");
        PutHex8(out_, e.change == kAdded ? new_value : old_value);
        if (moved) {
          out_.Put(" -> ");
          PutHex8(out_, new_value);
          out_.Put(" (" + Difference(old_value, new_value) + ")");
        }
        out_.Put(std::string(" ") + r.name);
        if (e.repeated) out_.Put(" (occurrence " + occurrence + ")");
        out_.Put("\n");
        break;
      }
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
  Output& out_;
  Format format_;
  const std::vector<Record>& records_;
  long long printed_ = 0;
};

bool ParseDiffFormat(const CommandLine& line, Format* format) {
  std::string text = line.Last("format", "text");
  if (text == "text") return *format = Format::kText, true;
  if (text == "csv") return *format = Format::kCsv, true;
  if (text == "json") return *format = Format::kJson, true;
  return false;
}

bool CheckDiff(const CommandLine& line, std::string* error) {
  Format format;
  if (!ParseDiffFormat(line, &format)) {
    *error = "unknown format '" + line.Last("format") + "' (text, csv or json)";
    return false;
  }
  if (line.operands.size() != 2) {
    *error = "diff needs two map files, OLD and NEW";
    return false;
  }
  return true;
}

int RunDiff(const MapLibrary& lib, const CommandLine& line, Output& out) {
  Format format = Format::kText;
  ParseDiffFormat(line, &format);
  Maps maps(lib);
  if (!maps.Load(line.operands)) return kExitFile;
  const std::vector<Record>& records = maps.records();
  auto old_end = static_cast<std::size_t>(maps.files()[0].end);
  NameTable table(records, old_end);
  std::vector<Entry> entries(records.size());
  Totals totals;
  // Each name once: its occurrences in both files in pairs, in file order.
  for (const NameTable::Name& name : table.names()) {
    bool repeated = name.count[0] > 1 || name.count[1] > 1;
    std::uint32_t o = name.head[0], n = name.head[1], occurrence = 1;
    for (; o != NameTable::kNone; o = table.Next(o), ++occurrence) {
      if (n == NameTable::kNone) {
        entries[o] = {kRemoved, NameTable::kNone, occurrence, repeated};
        continue;
      }
      entries[o] = {records[n].value == records[o].value ? kSame : kMoved, n, occurrence, repeated};
      entries[n] = {kSame, o, occurrence, repeated};
      n = table.Next(n);
    }
    for (; n != NameTable::kNone; n = table.Next(n), ++occurrence) {
      entries[n] = {kAdded, NameTable::kNone, occurrence, repeated};
    }
  }
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
  return equal ? kExitOk : kExitNo;
}

}  // namespace

const Command kDiffCommand = {
    "diff",
    "mapsyms diff [--format text|csv|json] OLD NEW",
    R"(Compares the records of two map files by name: the records removed (in OLD only), added
(in NEW only) and moved (the same name with another value, and the difference). A name that
occurs more than once in a file is matched occurrence by occurrence in file order; its changes
say which occurrence. Removed and moved records come in OLD's order, added ones in NEW's, then
a summary of the counts. Exit 0 when the records are the same, 1 when they differ.

  --format text|csv|json  text: "- 0x%08X name", "+ 0x%08X name", "~ 0x%08X -> 0x%08X
                          (+0xDIFF) name" and a summary line; csv: change,name,occurrence,
                          old,new,difference rows; json: {"changes": [...], "summary": {...}}
  -h, --help              print this help
)",
    {{"format", 0, true}, {"help", 'h', false}, {"version", 'V', false}},
    CheckDiff,
    RunDiff,
};
