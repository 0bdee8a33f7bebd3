// SPDX-License-Identifier: MIT
// mapsyms diff [--format text|csv|json] OLD NEW: the records removed from OLD, added in NEW and
// moved (same name, other value), and a summary. A name that occurs more than once in a file is
// matched occurrence by occurrence in file order, and its changes say which occurrence.
#include <cstring>
#include <string_view>

#include "both_halves.h"
#include "commands.h"
#include "common/name_hash.h"
#include "exit_codes.h"
#include "maps.h"
#include "messages.h"

namespace {

enum class Format { kText, kCsv, kJson };

// The names of both files, each once, with its occurrences in each file chained in file
// order. An open-addressing table of 64-bit name hashes; names are compared only where the
// hashes agree. With two parts, each table holds the names whose hash has its top bit equal to
// its part, so that two threads can each fill one; the chains (next) are shared, each record
// in one part. Every slot and name is somewhere else in memory, so the table is filled record
// by record with what later records will read asked for early: the slot of the record sixteen
// places ahead, the name in the slot of the one eight places ahead, that name's text for the
// one four places ahead.
class NameTable {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  struct Name {
    const char* text = nullptr;              // of its first occurrence
    std::uint32_t head[2] = {kNone, kNone};  // first occurrence in OLD, in NEW
    std::uint32_t tail[2] = {kNone, kNone};
    std::uint32_t count[2] = {0, 0};
  };

  // records[0, old_end) are OLD's, the rest NEW's; next has an entry per record.
  NameTable(const RecordList& records, std::size_t old_end, int part, int parts,
            LargeVector<std::uint32_t>& next)
      : part_(static_cast<std::uint64_t>(part)), parts_(parts), next_(next) {
    // Half as many slots again as the part's share of records; Grow makes more if a part gets
    // more names than that leaves room for.
    std::size_t share = records.size() / static_cast<std::size_t>(parts) + 16;
    std::size_t capacity = 16;
    while (capacity < share + share / 2) capacity *= 2;
    slots_.assign(capacity, Slot{});
    names_.reserve(share / 2);
    constexpr std::size_t kAhead = 16, kNear = 8, kNearest = 4;
    std::uint64_t hashes[kAhead];  // of records i to i + kAhead - 1, by index modulo kAhead
    for (std::size_t i = 0; i < kAhead && i < records.size(); ++i)
      hashes[i] = Hash(records[i].name);
    for (std::size_t i = 0; i < records.size(); ++i) {
      std::uint64_t hash = hashes[i % kAhead];
      if (i + kAhead < records.size()) {
        std::uint64_t later = Hash(records[i + kAhead].name);
        hashes[i % kAhead] = later;
        if (Mine(later)) Prefetch(&slots_[Home(later)]);
      }
      if (i + kNear < records.size() && Mine(hashes[(i + kNear) % kAhead])) {
        const Slot& near = slots_[Home(hashes[(i + kNear) % kAhead])];
        if (near.id != kNone) Prefetch(&names_[near.id]);
      }
      if (i + kNearest < records.size() && Mine(hashes[(i + kNearest) % kAhead])) {
        const Slot& nearest = slots_[Home(hashes[(i + kNearest) % kAhead])];
        if (nearest.id != kNone) Prefetch(names_[nearest.id].text);
      }
      if (!Mine(hash)) continue;
      std::uint32_t name = Insert(hash, records[i].name);
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

  const LargeVector<Name>& names() const { return names_; }
  std::uint32_t Next(std::uint32_t i) const { return next_[i]; }

 private:
  // Eight bytes: the table is the largest thing the diff makes.
  struct Slot {
    std::uint32_t tag = 0;     // the hash's high half
    std::uint32_t id = kNone;  // index in names_; kNone for an empty slot
  };

  static std::uint64_t Hash(const char* name) { return k8map::HashName(name); }
  std::size_t Home(std::uint64_t hash) const { return hash & (slots_.size() - 1); }
  bool Mine(std::uint64_t hash) const { return parts_ == 1 || hash >> 63 == part_; }
  static void Prefetch(const void* p) {
#if defined(__GNUC__) || defined(__clang__)
    if (p != nullptr) __builtin_prefetch(p);
#else
    (void)p;
#endif
  }

  // The name's index in names_, added when new.
  std::uint32_t Insert(std::uint64_t hash, const char* name) {
    if (names_.size() + 1 > slots_.size() / 4 * 3) Grow();
    std::size_t mask = slots_.size() - 1;
    auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t at = Home(hash);; at = (at + 1) & mask) {
      Slot& slot = slots_[at];
      if (slot.id == kNone) {
        slot = {tag, static_cast<std::uint32_t>(names_.size())};
        names_.emplace_back().text = name;
        return slot.id;
      }
      if (slot.tag == tag && std::strcmp(names_[slot.id].text, name) == 0) return slot.id;
    }
  }

  // Twice the slots, every name placed again: the table never fills.
  void Grow() {
    LargeVector<Slot> old(slots_.size() * 2, Slot{});
    old.swap(slots_);
    std::size_t mask = slots_.size() - 1;
    for (std::size_t id = 0; id < names_.size(); ++id) {
      std::uint64_t hash = Hash(names_[id].text);
      std::size_t at = Home(hash);
      while (slots_[at].id != kNone) at = (at + 1) & mask;
      slots_[at] = {static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(id)};
    }
  }

  std::uint64_t part_;
  int parts_;
  LargeVector<std::uint32_t>& next_;
  LargeVector<Slot> slots_;
  LargeVector<Name> names_;
};

enum Change : std::uint8_t { kSame, kRemoved, kAdded, kMoved };

// Eight bytes per record of both files.
struct Entry {
  Entry() = default;
  Entry(Change c, std::uint32_t other, std::uint32_t nth, bool twice)
      : partner(other), occurrence(nth), change(c), repeated(twice) {}
  std::uint32_t partner = NameTable::kNone;  // the matched record in the other file
  std::uint32_t occurrence : 29 = 1;         // which occurrence of its name in its file
  std::uint32_t change : 2 = kSame;          // a Change
  std::uint32_t repeated : 1 = 0;            // the name occurs more than once in either file
};

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
  const RecordList& records_;
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
  return StandardInputOnce(line.operands, error);
}

// Fewer records than this are matched by one thread: a second costs more than it saves there.
constexpr std::size_t kTwoPartRecords = 1 << 16;

// Each name of the table once: its occurrences in both files in pairs, in file order.
void PairOccurrences(const NameTable& table, const RecordList& records,
                     LargeVector<Entry>& entries) {
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
}

int RunDiff(const MapLibrary& lib, const CommandLine& line, Output& out) {
  Format format = Format::kText;
  ParseDiffFormat(line, &format);
  Maps maps(lib);
  if (!maps.Load(line.operands, true)) return kExitFile;  // both maps at once
  auto count = static_cast<std::size_t>(maps.count());
  auto old_end = static_cast<std::size_t>(maps.files()[0].end);
  int parts = count >= kTwoPartRecords ? 2 : 1;
  // The chains and entries are made (every page touched) by a second thread while the records
  // are gathered: fresh memory costs a fault and a cleared page at its first touch.
  const RecordList* gathered = nullptr;
  LargeVector<std::uint32_t> next;
  LargeVector<Entry> entries;
  BothHalves(parts == 2, [&](int h) {
    if (h == 0) {
      gathered = &maps.records();
    } else {
      next.assign(count, NameTable::kNone);
      entries.resize(count);
    }
  });
  const RecordList& records = *gathered;
  // Two tables filled at once, one name in one of them: each record's entry is written by one.
  BothHalves(parts == 2, [&](int part) {
    if (part >= parts) return;
    NameTable table(records, old_end, part, parts, next);
    PairOccurrences(table, records, entries);
  });
  Totals totals;
  DiffPrinter printer(out, format, records);
  for (std::size_t i = 0; i < old_end; ++i) {
    auto c = static_cast<Change>(entries[i].change);
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
