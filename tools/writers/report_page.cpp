// SPDX-License-Identifier: MIT
// The report's page: the template (report/page.html) with the style and script put in, the
// parts that read without a script (summary, largest symbols, change counts) written as HTML,
// and the data for the script as JSON. Every text from a map or a path is escaped, so that no
// markup from it is ever interpreted.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <functional>

#include "escape.h"
#include "file_replace.h"
#include "format_writers.h"
#include "kestrum8_map_version.h"
#include "report_assets.inc"
#include "report_model.h"
#include "run_beside.h"

namespace k8writers {

namespace {

constexpr const char* kKindNames[] = {"", K8MAP_KIND_KEYWORDS};

// HTML text: valid UTF-8 (a byte that begins no sequence stands as U+FFFD), the markup
// characters as entities.
constexpr EscapeRules kHtmlText = [] {
  EscapeRules rules;
  for (int c = 0; c < 0x80; ++c) rules.kept[c] = true;
  rules.Own('&', "&amp;").Own('<', "&lt;").Own('>', "&gt;").Own('"', "&quot;").Own('\'', "&#39;");
  rules.utf8 = true;
  rules.invalid = "\xEF\xBF\xBD";
  return rules;
}();

std::string Html(std::string_view text) {
  return Escaped(text, kHtmlText);
}

// The page's text written into the sink's block as it is made: the data of a large map runs
// to tens of megabytes.
class Streamed {
 public:
  explicit Streamed(ByteSink& sink) : sink_(sink) {}

  Streamed& operator+=(char c) {
    sink_.Put(c);
    return *this;
  }
  Streamed& operator+=(std::string_view text) {
    sink_.Put(text);
    return *this;
  }
  void append(const char* first, const char* last) {
    sink_.Put(std::string_view(first, static_cast<std::size_t>(last - first)));
  }
  // Room for size bytes (at most kLargest), to be written at once; GiveBack returns the end of
  // it that was not written.
  char* Room(std::size_t size) { return sink_.Room(size); }
  void GiveBack(std::size_t size) { sink_.GiveBack(size); }
  void Append(HeldBlocks& held) { held.AppendTo(sink_); }

  static constexpr std::size_t kLargest = 1024;

 private:
  ByteSink& sink_;
};

// A JSON string that may stand inside a script element: no "<", ">" or "&" as themselves.
// The bytes a JSON string holds as they are, wherever it stands.
struct PlainBytes {
  bool plain[256] = {};
  constexpr PlainBytes() {
    for (int c = 0x20; c < 0x7F; ++c)
      plain[c] = c != '"' && c != '\\' && c != '<' && c != '>' && c != '&';
  }
};
constexpr PlainBytes kPlainBytes;

void PutJsonEscaped(Streamed& out, std::string_view text);

// A name as a JSON string: copied as it stands (map names hold letters, digits and underscores)
// in one pass that also finds its end, unless it holds a byte to escape.
void PutJson(Streamed& out, const char* name) {
  char* at = out.Room(Streamed::kLargest);
  char* end = at + Streamed::kLargest - 1;
  char* to = at;
  *to++ = '"';
  const char* from = name;
  while (*from != '\0' && to < end && kPlainBytes.plain[static_cast<unsigned char>(*from)])
    *to++ = *from++;
  if (*from == '\0' && to < end) {
    *to++ = '"';
    out.GiveBack(static_cast<std::size_t>(end + 1 - to));
    return;
  }
  out.GiveBack(Streamed::kLargest);
  PutJsonEscaped(out, name);
}

void PutJson(Streamed& out, const std::string& text) {
  PutJsonEscaped(out, text);
}

// A JSON string that may stand inside a script element: valid UTF-8 (U+FFFD for a byte that
// begins no sequence), and no "<", ">" or "&" as themselves.
constexpr EscapeRules kScriptJson = [] {
  EscapeRules rules;
  rules.KeepPrintable("\"\\<>&").Own('"', "\\\"").Own('\\', "\\\\");
  rules.kept[0x7F] = true;
  rules.numbered = "\\u%04x";
  rules.utf8 = true;
  rules.invalid = "\xEF\xBF\xBD";
  return rules;
}();

void PutJsonEscaped(Streamed& out, std::string_view text) {
  out += '"';
  out += Escaped(text, kScriptJson);
  out += '"';
}

// The names as one JSON string, a space between two (a map's fields are separated by blanks, so
// no name holds one). Names are copied byte by byte into room taken for many at once (a name is
// at most K8MAP_NAME_MAX bytes); one holding a byte to escape is written escaped.
void PutNames(Streamed& out, const std::vector<const MapSymbol*>& symbols) {
  constexpr std::size_t kRoom = ByteSink::kLargestRoom;
  constexpr std::size_t kNameRoom = K8MAP_NAME_MAX + 1;
  out += '"';
  char* to = out.Room(kRoom);
  char* last = to + kRoom - kNameRoom;  // room for one more name from here on
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    if (to > last) {
      out.GiveBack(static_cast<std::size_t>(last + kNameRoom - to));
      to = out.Room(kRoom);
      last = to + kRoom - kNameRoom;
    }
    char* start = to;
    char* bound = start + kNameRoom;  // a space and K8MAP_NAME_MAX bytes
    if (i > 0) *to++ = ' ';
    const char* from = symbols[i]->name;
    while (to < bound && *from != '\0' && kPlainBytes.plain[static_cast<unsigned char>(*from)]) {
      *to++ = *from++;
    }
    if (*from == '\0') continue;
    out.GiveBack(static_cast<std::size_t>(last + kNameRoom - start));
    if (i > 0) out += ' ';
    out += Escaped(symbols[i]->name, kScriptJson);
    to = out.Room(kRoom);
    last = to + kRoom - kNameRoom;
  }
  out.GiveBack(static_cast<std::size_t>(last + kNameRoom - to));
  out += '"';
}

template <typename Number>
void PutNumber(Streamed& out, Number value, int base = 10) {
  constexpr std::size_t kRoom = 24;
  char* at = out.Room(kRoom);
  out.GiveBack(kRoom -
               static_cast<std::size_t>(std::to_chars(at, at + kRoom, value, base).ptr - at));
}

// For each item, at most `widest` bytes that write(item, at) writes, returning their end: into
// room taken for many items at once rather than per item.
template <typename Items, typename Write>
void PutEach(Streamed& out, const Items& items, std::size_t widest, Write write) {
  const std::size_t per_room = ByteSink::kLargestRoom / widest;
  for (std::size_t i = 0; i < items.size();) {
    std::size_t count = std::min(per_room, items.size() - i);
    char* room = out.Room(count * widest);
    char* at = room;
    for (std::size_t end = i + count; i < end; ++i) at = write(items[i], at);
    out.GiveBack(count * widest - static_cast<std::size_t>(at - room));
  }
}

template <typename Numbers, typename Field>
void PutArray(Streamed& out, const char* key, const Numbers& items, Field field) {
  out += ",\"";
  out += key;
  out += "\":[";
  // Each number and a comma (the last taken back): at most 20 digits, a sign and the comma.
  std::size_t index = 0;
  PutEach(out, items, 22, [&](const auto&, char* at) {
    at = std::to_chars(at, at + 21, field(index++)).ptr;
    *at = ',';
    return at + 1;
  });
  if (!items.empty()) out.GiveBack(1);
  out += ']';
}

// "N symbols", "1 symbol".
std::string Counted(std::uint64_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// A size in bytes, with KiB beside it from 1 KiB up: "512 B", "73728 B (72.0 KiB)".
std::string Bytes(std::uint64_t size) {
  std::string text = std::to_string(size) + " B";
  if (size < 1024) return text;
  char kib[32];
  std::snprintf(kib, sizeof kib, " (%.1f KiB)", static_cast<double>(size) / 1024);
  return text + kib;
}

std::string Percent(double percent) {
  char text[16];
  std::snprintf(text, sizeof text, "%.2f%%", percent);
  return text;
}

std::string RegionName(const MapModel& map, std::uint32_t region) {
  const Region& r = map.region_list[region];
  return k8writers::RegionName(r.data, r.number);
}

// Eight upper-case hexadecimal digits, no separator: values and region bounds, compactly.
constexpr char kHexDigits[] = "0123456789ABCDEF";

// value as eight hexadecimal digits at `at`.
void WriteHexDigits(char* at, std::uint32_t value) {
  for (int shift = 28; shift >= 0; shift -= 4) *at++ = kHexDigits[(value >> shift) & 0xF];
}

void PutHexDigits(Streamed& out, std::uint32_t value) {
  WriteHexDigits(out.Room(8), value);
}

// The fields of a map's data that need no layout, each after a comma: names, kinds, scopes,
// values, bits and line steps.
void PutSymbolFields(Streamed& out, const MapModel& map) {
  out += ",\"names\":";
  PutNames(out, map.symbols);
  out += ",\"kinds\":\"";
  PutEach(out, map.symbols, 1, [](const MapSymbol* s, char* at) {
    *at = static_cast<char>('0' + s->kind);
    return at + 1;
  });
  out += "\",\"scopes\":\"";
  PutEach(out, map.symbols, 1, [](const MapSymbol* s, char* at) {
    *at = s->scope;
    return at + 1;
  });
  out += "\",\"values\":\"";
  PutEach(out, map.symbols, 8, [](const MapSymbol* s, char* at) {
    WriteHexDigits(at, s->value);
    return at + 8;
  });
  out += '"';
  if (map.bits) {
    out += ",\"bits\":\"";
    PutEach(out, map.symbols, 1, [](const MapSymbol* s, char* at) {
      *at = s->bit < 0 ? '-' : static_cast<char>('0' + s->bit);
      return at + 1;
    });
    out += '"';
  }
  std::uint32_t line = 0;
  PutArray(out, "lineSteps", map.symbols, [&](std::size_t i) {
    std::int64_t step = std::int64_t{map.symbols[i]->line} - line;
    line = map.symbols[i]->line;
    return step;
  });
}

// A map's data for the script: its name, the fields PutSymbolFields wrote (held: names in one
// JSON text, a space between two; values as eight hexadecimal digits each; lines as steps from
// the line before), its spans in hexadecimal, comma-separated, empty for none, and its regions.
void PutMapData(Streamed& out, const MapModel& map, HeldBlocks& symbol_fields) {
  out += "{\"name\":";
  PutJson(out, map.name);
  out.Append(symbol_fields);
  out += ",\"spans\":\"";
  // Each span's digits in lower case (none for no span) and a comma; the last comma is taken
  // back.
  PutEach(out, map.spans, 17, [](std::int64_t span, char* at) {
    if (span != kNoSpan) {
      auto value = static_cast<std::uint64_t>(span);
      int digits = std::max(1, (static_cast<int>(std::bit_width(value)) + 3) / 4);
      for (int digit = digits - 1; digit >= 0; --digit) {
        *at++ = "0123456789abcdef"[(value >> (4 * digit)) & 0xF];
      }
    }
    *at = ',';
    return at + 1;
  });
  if (!map.spans.empty()) out.GiveBack(1);
  out += '"';
  out += ",\"regionNames\":[";
  for (std::uint32_t r = 0; r < map.region_list.size(); ++r) {
    if (r > 0) out += ',';
    PutJson(out, RegionName(map, r));
  }
  out += "],\"regionData\":\"";
  for (const Region& region : map.region_list) out += region.data ? '1' : '0';
  out += "\",\"regionBounds\":\"";
  for (const Region& region : map.region_list) {
    PutHexDigits(out, region.first);
    PutHexDigits(out, region.last);
  }
  out += '"';
  PutArray(out, "regionCounts", map.region_list,
           [&](std::size_t r) { return map.region_list[r].count; });
  const std::vector<std::uint32_t>& shown = map.shown;
  PutArray(out, "shownRegions", shown, [&](std::size_t at) { return shown[at]; });
  out += '}';
}

void PutCounts(Streamed& out, const char* key, const ChangeCounts& c) {
  out += ",\"";
  out += key;
  out += "\":{\"added\":" + std::to_string(c.added) + ",\"removed\":" + std::to_string(c.removed) +
         ",\"moved\":" + std::to_string(c.moved) + ",\"unchanged\":" + std::to_string(c.unchanged) +
         "}";
}

void PutData(const std::vector<MapModel>& maps, std::vector<HeldBlocks>& symbol_fields,
             const DiffModel* diff, const ReportOptions& options, ByteSink& sink) {
  Streamed out(sink);
  out += "{\"gap\":";
  PutNumber(out, options.region_gap);
  out += ",\"kindNames\":[";
  for (int kind = 0; kind <= K8MAP_KIND_ARG; ++kind) {
    if (kind > 0) out += ',';
    PutJson(out, kKindNames[kind]);
  }
  for (auto [key, test] :
       {std::pair{"drawnKinds", &HasAddress}, std::pair{"dataKinds", &IsDataKind}}) {
    out += "],\"" + std::string(key) + "\":[";
    const char* separator = "";
    for (std::uint8_t kind = K8MAP_KIND_ADDR; kind <= K8MAP_KIND_ARG; ++kind) {
      if (!test(kind)) continue;
      out += separator + std::to_string(kind);
      separator = ",";
    }
  }
  out += "],\"changeNames\":[";
  for (std::size_t change = 0; change < kChangeCount; ++change) {
    if (change > 0) out += ',';
    PutJson(out, kChangeNames[change]);
  }
  out += "],\"maps\":[";
  for (std::size_t m = 0; m < maps.size(); ++m) {
    if (m > 0) out += ',';
    PutMapData(out, maps[m], symbol_fields[m]);
  }
  out += ']';
  if (diff != nullptr) {
    out += ",\"diff\":{\"changes\":\"";
    for (std::uint8_t change : diff->new_changes) out += static_cast<char>('0' + change);
    out += '"';
    PutArray(out, "partners", diff->partners, [&](std::size_t i) {
      return diff->partners[i] == kNoPartner ? -1 : static_cast<std::int64_t>(diff->partners[i]);
    });
    PutArray(out, "removed", diff->removed, [&](std::size_t i) { return diff->removed[i]; });
    PutCounts(out, "counts", diff->counts);
    PutCounts(out, "records", diff->records);
    out += '}';
  }
  out += '}';
}

std::string Cell(std::string_view tag, std::string_view text, std::string_view cls = "") {
  std::string open =
      "<" + std::string(tag) + (cls.empty() ? "" : " class=\"" + std::string(cls) + "\"") + ">";
  return open + std::string(text) + "</" + std::string(tag) + ">";
}

std::string CountsTable(const MapModel& map, const char* id) {
  std::uint64_t counts[8][3] = {};
  for (const MapSymbol* s : map.symbols) {
    int scope = s->scope == 'a' ? 0 : s->scope == 'g' ? 1 : 2;
    ++counts[s->kind & 7][scope];
  }
  std::string html = "<table id=\"" + std::string(id) + "\" class=\"counts\"><caption>" +
                     Html(map.name) +
                     "</caption><thead><tr><th>Kind</th><th>a</th><th>g</th><th>s</th><th>All</th>"
                     "</tr></thead><tbody>";
  std::uint64_t column[4] = {};
  for (int kind = K8MAP_KIND_ADDR; kind <= K8MAP_KIND_ARG; ++kind) {
    std::uint64_t all = counts[kind][0] + counts[kind][1] + counts[kind][2];
    if (all == 0) continue;
    html += "<tr>" + Cell("th", kKindNames[kind]);
    for (int scope = 0; scope < 3; ++scope) {
      html += Cell("td", std::to_string(counts[kind][scope]), "num");
      column[scope] += counts[kind][scope];
    }
    html += Cell("td", std::to_string(all), "num") + "</tr>";
    column[3] += all;
  }
  html += "</tbody><tfoot><tr><th>All</th>";
  for (std::uint64_t total : column) html += Cell("td", std::to_string(total), "num");
  return html + "</tr></tfoot></table>\n";
}

std::string RegionsTable(const MapModel& map) {
  if (map.region_list.empty()) {
    return "<p class=\"empty\">" + Html(map.name) +
           ": no address symbols (Addr., loc., Func., Var.) to draw as memory.</p>\n";
  }
  std::string html = "<table class=\"regions\"><caption>Regions of " + Html(map.name) +
                     "</caption><thead><tr><th>Region</th><th>First</th><th>Last</th><th>Span"
                     "</th><th>Symbols</th></tr></thead><tbody>";
  const std::vector<std::uint32_t>& shown = map.shown;
  for (std::uint32_t r : shown) {
    const Region& region = map.region_list[r];
    html += "<tr>" + Cell("th", RegionName(map, r)) + Cell("td", Hex8(region.first), "num") +
            Cell("td", Hex8(region.last), "num") + Cell("td", Bytes(region.total_span), "num") +
            Cell("td", std::to_string(region.count), "num") + "</tr>";
  }
  html += "</tbody></table>\n";
  if (shown.size() < map.region_list.size()) {
    std::uint64_t rest = 0;
    for (const Region& region : map.region_list) rest += region.count;
    for (std::uint32_t r : shown) rest -= map.region_list[r].count;
    html += "<p class=\"hint\">" + std::to_string(map.region_list.size()) +
            " regions in all: the " + std::to_string(shown.size()) +
            " with the most symbols are shown; the other " +
            std::to_string(map.region_list.size() - shown.size()) + " hold " +
            Counted(rest, "symbol") + " (the table's region filter reaches each).</p>\n";
  }
  return html;
}

std::string Summary(const std::vector<MapModel>& maps, const ReportOptions& options) {
  std::string html = "<table class=\"facts\"><tbody>";
  html += "<tr><th>Map</th><td>" + Html(maps[0].name) + "</td></tr>";
  if (maps.size() > 1) html += "<tr><th>New map</th><td>" + Html(maps[1].name) + "</td></tr>";
  html += "<tr><th>Made by</th><td>mapsyms " K8MAP_VERSION "</td></tr>";
  html += "<tr><th>Region gap</th><td>" + Hex8(options.region_gap) + "</td></tr>";
  html += "</tbody></table>\n<h3>Symbols by kind and scope</h3>\n";
  for (std::size_t m = 0; m < maps.size(); ++m)
    html += CountsTable(maps[m], m == 0 ? "counts" : "counts-new");
  html += "<h3>Regions</h3>\n";
  for (const MapModel& map : maps) html += RegionsTable(map);
  return html;
}

std::string Largest(const MapModel& map) {
  std::string html;
  for (std::uint32_t r : map.shown) {
    const Region& region = map.region_list[r];
    if (region.largest.empty()) continue;
    html += "<h3>" + RegionName(map, r) + " <small>" + Hex8(region.first) + " to " +
            Hex8(region.last) + "</small></h3>\n<ol class=\"bars\">";
    double top = static_cast<double>(map.spans[region.largest.front()]);
    for (std::uint32_t i : region.largest) {
      char width[16];
      std::snprintf(width, sizeof width, "%.1f", 100.0 * static_cast<double>(map.spans[i]) / top);
      html += "<li><span class=\"bar k" + std::to_string(map.symbols[i]->kind) +
              "\" style=\"width:" + width + "%\"></span><span class=\"label\">" +
              Html(map.symbols[i]->name) + " <span class=\"num\">" +
              Bytes(static_cast<std::uint64_t>(map.spans[i])) + "</span></span></li>";
    }
    html += "</ol>\n";
  }
  return html.empty() ? "<p class=\"empty\">No symbol has a span.</p>\n" : html;
}

std::string Legend() {
  std::string html = "<ul class=\"legend\">";
  for (int kind : {K8MAP_KIND_FUNC, K8MAP_KIND_ADDR, K8MAP_KIND_LOC, K8MAP_KIND_VAR}) {
    html += "<li><span class=\"swatch k" + std::to_string(kind) + "\"></span>" + kKindNames[kind] +
            "</li>";
  }
  return html + "<li><span class=\"swatch changed\"></span>changed</li></ul>\n";
}

std::string Changes(const DiffModel& diff) {
  auto row = [](const char* what, const ChangeCounts& c) {
    return "<tr>" + Cell("th", what) + Cell("td", std::to_string(c.added), "num") +
           Cell("td", std::to_string(c.removed), "num") +
           Cell("td", std::to_string(c.moved), "num") +
           Cell("td", std::to_string(c.unchanged), "num") + "</tr>";
  };
  std::string html =
      "<section id=\"changes\">\n<h2>Changes</h2>\n<table id=\"change-counts\" class=\"counts\">"
      "<thead><tr><th></th><th>Added</th><th>Removed</th><th>Moved</th><th>Unchanged</th></tr>"
      "</thead><tbody>" +
      row("Symbols listed", diff.counts) +
      row("Records (Addr., loc.), as mapsyms diff", diff.records) + "</tbody></table>\n";
  return html +
         "<div class=\"controls\"><span id=\"change-count\"></span></div>\n"
         "<div id=\"change-scroll\"><table id=\"change-table\"><thead><tr>"
         "<th data-sort=\"change\">Change</th><th data-sort=\"name\">Name</th>"
         "<th data-sort=\"old\">Old value</th><th data-sort=\"new\">New value</th>"
         "<th data-sort=\"oldspan\">Old size</th><th data-sort=\"newspan\">New size</th>"
         "<th data-sort=\"spanchange\">Size change</th></tr></thead><tbody></tbody></table></div>\n"
         "</section>";
}

// A memory's line: its use, with a bar where its size is known.
std::string UsageRow(const MemoryUse& use) {
  std::string row = "<tr data-used=\"" + std::to_string(use.used) + "\"" +
                    (use.named ? " data-size=\"" + std::to_string(use.size) + "\"" : "") + ">" +
                    Cell("th", Html(use.name)) + Cell("td", Bytes(use.used), "num");
  if (!use.named) {
    return row + Cell("td", "not known", "num") + Cell("td", "", "num") + "<td></td></tr>";
  }
  char width[16];
  std::snprintf(width, sizeof width, "%.2f", std::min(100.0, use.Percent()));
  return row + Cell("td", Bytes(use.size), "num") + Cell("td", Percent(use.Percent()), "num") +
         "<td><div class=\"meter\" role=\"img\" aria-label=\"" + Percent(use.Percent()) +
         " used\"><span style=\"width:" + width + "%\"></span></div></td></tr>";
}

std::string UsageNotes(const Usage& usage, std::size_t hidden) {
  std::string notes;
  for (const MemoryUse& use : usage.memories) {
    if (use.unsized_top == nullptr || !use.named) continue;
    notes += "<li>" + Html(use.name) + ": the size of its highest symbol, " +
             Html(use.unsized_top->name) + " at " + Hex8(use.unsized_top->value) +
             ", is not known: counted to its value.</li>";
  }
  if (!usage.memories.empty() && !usage.memories.front().named) {
    notes +=
        "<li>No memory was named (--memory): the regions stand in, each used up to its highest "
        "symbol's value, whose size the map does not tell.</li>";
  }
  if (hidden > 0) {
    notes += "<li>" + std::to_string(usage.memories.size()) + " regions in all: the " +
             std::to_string(usage.memories.size() - hidden) +
             " with the most symbols are shown.</li>";
  }
  if (!usage.outside.empty()) {
    notes += "<li>" + Counted(usage.outside.size(), "symbol") + " outside every memory.</li>";
  }
  return notes.empty() ? "" : "<ul class=\"hint\">" + notes + "</ul>\n";
}

std::string SizeCell(std::int64_t size, bool present) {
  return Cell("td", !present ? "" : size == kUnknownSize ? "not known" : Bytes(size), "num");
}

std::string Signed(std::int64_t change) {
  return (change > 0 ? "+" : change < 0 ? "-" : "") + std::to_string(change < 0 ? -change : change);
}

std::string GrowthTables(const SizeDiff& diff) {
  std::string html =
      "<h3>Change per memory</h3>\n<table id=\"memory-changes\" class=\"regions\"><thead><tr>"
      "<th>Memory</th><th>Was</th><th>Old used</th><th>New used</th><th>Change</th></tr></thead>"
      "<tbody>";
  for (const UseChange& total : diff.totals) {
    std::string was = total.old_used < 0 ? "new" : total.new_used < 0 ? "gone" : total.was;
    html += "<tr>" + Cell("th", Html(total.name)) + Cell("td", Html(was)) +
            SizeCell(total.old_used, total.old_used >= 0) +
            SizeCell(total.new_used, total.new_used >= 0) +
            Cell("td",
                 Signed(std::max<std::int64_t>(total.new_used, 0) -
                        std::max<std::int64_t>(total.old_used, 0)),
                 "num") +
            "</tr>";
  }
  html += "</tbody></table>\n<h3>Grew most</h3>\n";
  if (diff.rows.empty()) return html + "<p class=\"empty\">No size changed.</p>\n";
  html +=
      "<table id=\"growth\" class=\"regions\"><thead><tr><th>Change</th><th>Name</th>"
      "<th>Kind</th><th>Old size</th><th>New size</th><th>Difference</th></tr></thead><tbody>";
  for (const SizeRow& row : diff.rows) {
    const MapSymbol& s = row.after != nullptr ? *row.after : *row.before;
    html += "<tr data-delta=\"" + std::to_string(row.Delta()) + "\">" +
            Cell("td", kChangeNames[row.change]) + Cell("td", Html(s.name)) +
            Cell("td", kKindNames[s.kind]) + SizeCell(row.old_size, row.before != nullptr) +
            SizeCell(row.new_size, row.after != nullptr) + Cell("td", Signed(row.Delta()), "num") +
            "</tr>";
  }
  return html + "</tbody></table>\n";
}

std::string UsageSection(const UsageModel& model) {
  std::string html =
      "<section id=\"usage\">\n<h2>Memory use</h2>\n<table id=\"usage-table\" class=\"usage\">"
      "<thead><tr><th>Memory</th><th>Used</th><th>Size</th><th>Used %</th><th></th></tr></thead>"
      "<tbody>";
  // Of many regions, those with the most symbols, in address order, as the layout shows them.
  std::vector<std::size_t> shown(model.usage.memories.size());
  for (std::size_t at = 0; at < shown.size(); ++at) shown[at] = at;
  if (shown.size() > kShownRegions) {
    std::stable_sort(shown.begin(), shown.end(), [&](std::size_t a, std::size_t b) {
      return model.usage.memories[a].symbols > model.usage.memories[b].symbols;
    });
    shown.resize(kShownRegions);
    std::sort(shown.begin(), shown.end());
  }
  for (std::size_t at : shown) html += UsageRow(model.usage.memories[at]);
  html +=
      "</tbody></table>\n" + UsageNotes(model.usage, model.usage.memories.size() - shown.size());
  if (model.compared) html += GrowthTables(model.diff);
  return html + "</section>\n";
}

std::string DefaultTitle(const std::vector<MapModel>& maps) {
  return maps.size() == 1 ? "Memory of " + maps[0].name
                          : "Memory of " + maps[1].name + " against " + maps[0].name;
}

// The template with each {{NAME}} replaced by its part, {{DATA}} by what write_data writes.
void Fill(std::string_view page, const std::vector<std::pair<std::string_view, std::string>>& parts,
          const std::function<void()>& write_data, ByteSink& sink) {
  for (std::size_t at = 0; at < page.size();) {
    std::size_t open = page.find("{{", at);
    if (open == std::string_view::npos) {
      sink.Put(page.substr(at));
      return;
    }
    sink.Put(page.substr(at, open - at));
    std::size_t close = page.find("}}", open);
    std::string_view name = page.substr(open + 2, close - open - 2);
    if (name == "DATA") write_data();
    for (const auto& [key, text] : parts) {
      if (key == name) sink.Put(text);
    }
    at = close + 2;
  }
}

}  // namespace

void WriteReport(const MapSymbols& old_map, const MapSymbols* new_map, const ReportOptions& options,
                 ByteSink& sink) {
  bool paired = new_map != nullptr;
  // Moved in: a list's initializer would copy every model.
  std::vector<MapModel> maps;
  maps.reserve(2);
  maps.push_back(ChooseModelSymbols(old_map, options));
  if (paired) maps.push_back(ChooseModelSymbols(*new_map, options));
  // The data's fields that need no layout are written on a thread of their own while the maps
  // are laid out, and appended whole when the data's turn comes.
  std::vector<HeldBlocks> symbol_fields(maps.size());
  auto put_symbol_fields = [&] {
    for (std::size_t m = 0; m < maps.size(); ++m) {
      Streamed out(symbol_fields[m]);
      PutSymbolFields(out, maps[m]);
    }
  };
  std::jthread writer = RunBeside(put_symbol_fields);
  for (MapModel& model : maps) LayOutModel(model, options, paired);
  DiffModel diff;
  if (new_map != nullptr) diff = BuildDiffModel(maps[0], maps[1], old_map, *new_map);
  const MapModel& shown = maps.back();
  std::string title = Html(options.title.empty() ? DefaultTitle(maps) : options.title);
  bool drawn = !shown.region_list.empty();
  Fill(
      kReportPage,
      {{"VERSION", "mapsyms " K8MAP_VERSION},
       {"TITLE", title},
       {"STYLE", std::string(kReportStyle)},
       {"SCRIPT", std::string(kReportScript)},
       {"CHANGES_LINK", new_map != nullptr ? " <a href=\"#changes\">Changes</a>" : ""},
       {"SUMMARY", Summary(maps, options)},
       {"LEGEND", Legend()},
       {"LAYOUT_NOTE",
        drawn ? ""
              : "<p class=\"empty\">No address symbols (Addr., loc., Func., Var.) to draw.</p>"},
       {"LARGEST", Largest(shown)},
       {"CHANGES", new_map != nullptr ? Changes(diff) : ""},
       {"USAGE", UsageSection(BuildUsageModel(old_map, new_map, shown, options))}},
      [&] {
        if (writer.joinable()) writer.join();
        PutData(maps, symbol_fields, new_map != nullptr ? &diff : nullptr, options, sink);
      },
      sink);
}

bool ReportToFile(const MapSymbols& old_map, const MapSymbols* new_map,
                  const ReportOptions& options, const std::string& path, FileFailure* failure) {
  ReplacingFile file;
  if (!file.Open(path, failure)) return false;
  WriteReport(old_map, new_map, options, file);
  return file.Commit(failure);
}

}  // namespace k8writers
