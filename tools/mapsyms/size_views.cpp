// SPDX-License-Identifier: MIT
#include "size_views.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "kinds.h"

namespace {

using k8writers::kUnknownSize;
using k8writers::MemoryUse;
using k8writers::SizeRow;

std::string Printed(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printed(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// A size as GNU ld prints a memory's: in the largest unit that divides it, right-aligned (but
// nothing is 0 B, where ld says 0 GB).
std::string LdSize(std::uint64_t size) {
  if (size == 0) return Printed("%13s", "0 B");
  static constexpr struct {
    unsigned shift;
    const char* unit;
  } kUnits[] = {{30, "GB"}, {20, "MB"}, {10, "KB"}, {0, "B"}};
  for (const auto& u : kUnits) {
    if ((size & ((std::uint64_t{1} << u.shift) - 1)) == 0) {
      return Printed("%13s", Printed("%" PRIu64 " %s", size >> u.shift, u.unit).c_str());
    }
  }
  return "";
}

std::string JsonSize(std::int64_t size, bool present) {
  return present && size != kUnknownSize ? std::to_string(size) : "null";
}

void UsageText(Output& out, const k8writers::Usage& usage) {
  out.Put("Memory region         Used Size  Region Size  %age Used\n");
  for (const MemoryUse& use : usage.memories) {
    out.Put(Printed("%16s: ", use.name.c_str()) + LdSize(use.used));
    out.Put(use.named ? LdSize(use.size) + Printed("    %6.2f%%\n", use.Percent())
                      : Printed("%13s    %7s\n", "-", "-"));
  }
  for (const MemoryUse& use : usage.memories) {
    if (use.unsized_top == nullptr || !use.named) continue;
    out.Put(use.name + ": the size of its highest symbol, " + use.unsized_top->name + " at " +
            Printed("0x%08" PRIX32, use.unsized_top->value) +
            ", is not known: counted to its value\n");
  }
  if (!usage.memories.empty() && !usage.memories.front().named) {
    out.Put(
        "no memory named (--memory): the regions stand in, each used up to its highest "
        "symbol's value, whose size the map does not tell\n");
  }
  if (usage.outside.empty()) return;
  std::size_t count = usage.outside.size();
  out.Put(std::to_string(count) + (count == 1 ? " symbol lies" : " symbols lie") +
          " outside every memory:");
  for (std::size_t i = 0; i < count && i < 5; ++i) {
    out.Put(Printed("%s %s at 0x%08" PRIX32, i == 0 ? "" : ",", usage.outside[i]->name,
                    usage.outside[i]->value));
  }
  out.Put(count > 5 ? ", ...\n" : "\n");
}

void UsageCsv(Output& out, const k8writers::Usage& usage) {
  out.Put("memory,start,size,used,free,percent,symbols,unsized_top\n");
  for (const MemoryUse& use : usage.memories) {
    PutCsvField(out, use.name);
    out.Put(Printed(",0x%08" PRIX32 ",", use.start));
    if (use.named) {
      out.Put(Printed("%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%.2f", use.size, use.used,
                      use.size - std::min(use.size, use.used), use.Percent()));
    } else {
      out.Put(Printed(",%" PRIu64 ",,", use.used));
    }
    out.Put(Printed(",%" PRIu32 ",", use.symbols));
    if (use.unsized_top != nullptr) PutCsvField(out, use.unsized_top->name);
    out.Put("\n");
  }
}

void UsageJson(Output& out, const k8writers::Usage& usage) {
  out.Put("{\"memories\": [");
  const char* separator = "\n";
  for (const MemoryUse& use : usage.memories) {
    out.Put(separator + std::string("  {\"name\": "));
    PutJsonString(out, use.name);
    out.Put(Printed(", \"start\": %" PRIu32 ", ", use.start));
    out.Put(
        use.named
            ? Printed("\"size\": %" PRIu64 ", \"used\": %" PRIu64 ", \"free\": %" PRIu64
                      ", \"percent\": %.2f",
                      use.size, use.used, use.size - std::min(use.size, use.used), use.Percent())
            : Printed("\"size\": null, \"used\": %" PRIu64 ", \"free\": null, \"percent\": null",
                      use.used));
    out.Put(Printed(", \"symbols\": %" PRIu32 ", \"unsized_top\": ", use.symbols));
    if (use.unsized_top != nullptr) PutJsonString(out, use.unsized_top->name);
    if (use.unsized_top == nullptr) out.Put("null");
    out.Put("}");
    separator = ",\n";
  }
  out.Put(usage.memories.empty() ? "],\n \"outside\": [" : "\n],\n \"outside\": [");
  separator = "";
  for (const MapSymbol* s : usage.outside) {
    out.Put(separator + std::string("{\"name\": "));
    PutJsonString(out, s->name);
    out.Put(Printed(", \"value\": %" PRIu32 "}", s->value));
    separator = ", ";
  }
  out.Put("]}\n");
}

// text right-aligned in width columns at `at` (as printf's "%10s"); returns its end.
char* RightAligned(char* at, std::string_view text, std::size_t width) {
  for (std::size_t pad = text.size(); pad < width; ++pad) *at++ = ' ';
  std::memcpy(at, text.data(), text.size());
  return at + text.size();
}

// A size as DiffText writes it ("-" when absent, "?" when the map does not tell, else its
// bytes), into `text` (24 bytes).
std::string_view SizeDigits(char* text, std::int64_t size, bool present) {
  if (!present) return "-";
  if (size == kUnknownSize) return "?";
  return {text, static_cast<std::size_t>(std::to_chars(text, text + 24, size).ptr - text)};
}

// The change and the sizes before and after that begin each row of DiffText, as printf's
// "%+10lld  %10s  %10s  " writes them, at `at` (at most 70 bytes); returns their end. Made
// without printf: a diff may print a row for each of hundreds of thousands of symbols.
char* SizeColumns(char* at, std::int64_t delta, std::int64_t old_size, bool before,
                  std::int64_t new_size, bool after) {
  char number[24];
  number[0] = delta < 0 ? '-' : '+';
  auto magnitude =
      delta < 0 ? 0 - static_cast<std::uint64_t>(delta) : static_cast<std::uint64_t>(delta);
  char* end = std::to_chars(number + 1, number + sizeof number, magnitude).ptr;
  at = RightAligned(at, {number, static_cast<std::size_t>(end - number)}, 10);
  at = RightAligned(at, SizeDigits(number, old_size, before), 12);
  at = RightAligned(at, SizeDigits(number, new_size, after), 12);
  *at++ = ' ';
  *at++ = ' ';
  return at;
}

// A symbol's row of DiffText: its size columns, then as "0x%08X  %-5s  %s%s\n" writes them its
// value, kind, name and note.
void PutDiffRow(Output& out, std::int64_t delta, std::int64_t old_size, bool before,
                std::int64_t new_size, bool after, const MapSymbol& s, std::string_view note) {
  char line[K8MAP_NAME_MAX + 128];
  char* at = SizeColumns(line, delta, old_size, before, new_size, after);
  WriteHex8(at, s.value);
  at += 10;
  *at++ = ' ';
  *at++ = ' ';
  std::string_view kind = kKindKeywords[s.kind];
  std::memcpy(at, kind.data(), kind.size());
  at += kind.size();
  for (std::size_t pad = kind.size(); pad < 5; ++pad) *at++ = ' ';
  *at++ = ' ';
  *at++ = ' ';
  std::size_t name = std::min<std::size_t>(std::strlen(s.name), K8MAP_NAME_MAX);
  std::memcpy(at, s.name, name);
  at += name;
  std::memcpy(at, note.data(), note.size());
  at += note.size();
  *at++ = '\n';
  out.Put({line, static_cast<std::size_t>(at - line)});
}

const MapSymbol& SymbolOf(const SizeRow& row) {
  return row.after != nullptr ? *row.after : *row.before;
}

void DiffText(Output& out, const k8writers::SizeDiff& diff, std::size_t shown) {
  out.Put("    CHANGE         OLD         NEW  ADDRESS     KIND   SYMBOL\n");
  for (std::size_t i = 0; i < shown; ++i) {
    const SizeRow& row = diff.rows[i];
    const MapSymbol& s = SymbolOf(row);
    const char* note = row.change == k8writers::kAdded     ? " (added)"
                       : row.change == k8writers::kRemoved ? " (removed)"
                                                           : "";
    PutDiffRow(out, row.Delta(), row.old_size, row.before != nullptr, row.new_size,
               row.after != nullptr, s, note);
  }
  if (shown < diff.rows.size())
    out.Put("... " + std::to_string(diff.rows.size() - shown) + " more\n");
  out.Put("\n    CHANGE         OLD         NEW  MEMORY\n");
  for (const k8writers::UseChange& total : diff.totals) {
    std::string note = total.new_used < 0                              ? " (gone)"
                       : total.old_used < 0                            ? " (new)"
                       : !total.was.empty() && total.was != total.name ? " (was " + total.was + ")"
                                                                       : "";
    // Written whole, however long the names of the regions it was.
    char columns[72];
    char* end = SizeColumns(
        columns,
        std::max<std::int64_t>(total.new_used, 0) - std::max<std::int64_t>(total.old_used, 0),
        total.old_used, total.old_used >= 0, total.new_used, total.new_used >= 0);
    out.Put({columns, static_cast<std::size_t>(end - columns)});
    out.Put(total.name);
    out.Put(note);
    out.Put("\n");
  }
  std::size_t counts[k8writers::kChangeCount] = {};
  for (const SizeRow& row : diff.rows) ++counts[row.change];
  out.Put("\n" + std::to_string(counts[k8writers::kGrew]) + " grew, " +
          std::to_string(counts[k8writers::kShrank]) + " shrank, " +
          std::to_string(counts[k8writers::kAdded]) + " added, " +
          std::to_string(counts[k8writers::kRemoved]) + " removed");
  if (diff.unknown > 0) {
    out.Put(Printed("; %" PRIu64 " whose size one map does not tell left out", diff.unknown));
  }
  out.Put("\n");
}

void DiffCsv(Output& out, const k8writers::SizeDiff& diff, std::size_t shown) {
  out.Put("change,name,kind,old_value,new_value,old_size,new_size,delta\n");
  for (std::size_t i = 0; i < shown; ++i) {
    const SizeRow& row = diff.rows[i];
    out.Put(std::string(k8writers::kChangeNames[row.change]) + ",");
    PutCsvField(out, SymbolOf(row).name);
    out.Put(std::string(",") + kKindKeywords[SymbolOf(row).kind] + ",");
    if (row.before != nullptr) out.Put(Printed("0x%08" PRIX32, row.before->value));
    out.Put(",");
    if (row.after != nullptr) out.Put(Printed("0x%08" PRIX32, row.after->value));
    std::string old_size = JsonSize(row.old_size, row.before != nullptr);
    std::string new_size = JsonSize(row.new_size, row.after != nullptr);
    out.Put("," + (old_size == "null" ? "" : old_size) + "," +
            (new_size == "null" ? "" : new_size) + Printed(",%" PRId64 "\n", row.Delta()));
  }
}

void DiffJson(Output& out, const k8writers::SizeDiff& diff, std::size_t shown) {
  out.Put("{\"symbols\": [");
  for (std::size_t i = 0; i < shown; ++i) {
    const SizeRow& row = diff.rows[i];
    out.Put(std::string(i == 0 ? "\n" : ",\n") + "  {\"change\": \"" +
            k8writers::kChangeNames[row.change] + "\", \"name\": ");
    PutJsonString(out, SymbolOf(row).name);
    out.Put(std::string(", \"kind\": \"") + kKindKeywords[SymbolOf(row).kind] + "\"");
    out.Put(", \"old_value\": " +
            (row.before != nullptr ? std::to_string(row.before->value) : std::string("null")));
    out.Put(", \"new_value\": " +
            (row.after != nullptr ? std::to_string(row.after->value) : std::string("null")));
    out.Put(", \"old_size\": " + JsonSize(row.old_size, row.before != nullptr) +
            ", \"new_size\": " + JsonSize(row.new_size, row.after != nullptr) +
            Printed(", \"delta\": %" PRId64 "}", row.Delta()));
  }
  out.Put(shown == 0 ? "],\n \"totals\": [" : "\n],\n \"totals\": [");
  const char* separator = "\n";
  for (const k8writers::UseChange& total : diff.totals) {
    out.Put(separator + std::string("  {\"memory\": "));
    PutJsonString(out, total.name);
    out.Put(", \"was\": ");
    if (total.was.empty()) out.Put("null");
    if (!total.was.empty()) PutJsonString(out, total.was);
    out.Put(", \"old_used\": " + JsonSize(total.old_used, total.old_used >= 0) +
            ", \"new_used\": " + JsonSize(total.new_used, total.new_used >= 0) + "}");
    separator = ",\n";
  }
  out.Put(std::string(diff.totals.empty() ? "" : "\n") +
          "],\n \"more\": " + std::to_string(diff.rows.size() - shown) +
          ", \"unknown\": " + std::to_string(diff.unknown) + "}\n");
}

}  // namespace

bool ParseSizeFormat(const CommandLine& line, SizeFormat* format, std::string* error) {
  std::string text = line.Last("format", "text");
  static constexpr struct {
    const char* name;
    SizeFormat format;
  } kNames[] = {
      {"text", SizeFormat::kText}, {"csv", SizeFormat::kCsv}, {"json", SizeFormat::kJson}};
  for (const auto& known : kNames) {
    if (text == known.name) return *format = known.format, true;
  }
  *error = "unknown format '" + text + "' (text, csv or json)";
  return false;
}

void PrintUsage(Output& out, SizeFormat format, const k8writers::Usage& usage) {
  switch (format) {
    case SizeFormat::kText:
      return UsageText(out, usage);
    case SizeFormat::kCsv:
      return UsageCsv(out, usage);
    case SizeFormat::kJson:
      return UsageJson(out, usage);
  }
}

void PrintSizeDiff(Output& out, SizeFormat format, const k8writers::SizeDiff& diff,
                   std::size_t top) {
  std::size_t shown = top == 0 ? diff.rows.size() : std::min(top, diff.rows.size());
  switch (format) {
    case SizeFormat::kText:
      return DiffText(out, diff, shown);
    case SizeFormat::kCsv:
      return DiffCsv(out, diff, shown);
    case SizeFormat::kJson:
      return DiffJson(out, diff, shown);
  }
}
