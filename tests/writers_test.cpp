// SPDX-License-Identifier: MIT
// The export writers on names no map file yields but a host's symbols may hold: the header and
// the linker script leave them out with a comment that stays a comment.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "memory_layout.h"
#include "memory_sizes.h"
#include "report.h"
#include "symbol_export.h"

namespace {

using k8writers::ExportFormat;

std::string Export(ExportFormat format, const std::vector<MapSymbol>& given) {
  std::vector<const MapSymbol*> symbols;
  for (const MapSymbol& s : given) symbols.push_back(&s);
  k8writers::ExportOptions options;
  options.format = format;
  options.map_names = {"odd */ name.map"};
  options.output_name = "out/9lives.h";
  k8writers::StringSink sink;
  k8writers::ExportReport report;
  std::string error;
  EXPECT_TRUE(k8writers::WriteExport(symbols, options, sink, &report, &error)) << error;
  return sink.text();
}

MapSymbol Symbol(const char* name, std::uint32_t value) {
  return {name, value, 1, K8MAP_KIND_EQU, 'g', -1};
}

TEST(Writers, NamesOutsideTheLanguagesAreLeftOutInComments) {
  std::vector<MapSymbol> symbols = {
      Symbol("ok", 1),    Symbol("a.b", 2),      Symbol("1x", 3),      Symbol("x*/y", 4),
      Symbol("tab\t", 5), Symbol("\xC3\xA9", 6), Symbol(".dot_ok", 7), Symbol("SECTIONS", 8)};
  EXPECT_EQ(Export(ExportFormat::kHeader, symbols),
            "/* Symbols of odd *\\x2F name.map as C macros. */\n"
            "#ifndef SYMBOLS_9LIVES_H\n#define SYMBOLS_9LIVES_H\n\n"
            "#define ok 0x00000001u\n"
            "/* a.b = 0x00000002 left out: not a C identifier */\n"
            "/* 1x = 0x00000003 left out: not a C identifier */\n"
            "/* x*\\x2Fy = 0x00000004 left out: not a C identifier */\n"
            "/* tab\\x09 = 0x00000005 left out: not a C identifier */\n"
            "/* \\xC3\\xA9 = 0x00000006 left out: not a C identifier */\n"
            "/* .dot_ok = 0x00000007 left out: not a C identifier */\n"
            "#define SECTIONS 0x00000008u\n"
            "\n#endif /* SYMBOLS_9LIVES_H */\n");
  EXPECT_EQ(Export(ExportFormat::kLinkerScript, symbols),
            "/* Symbols of odd *\\x2F name.map for the GNU linker. */\n"
            "PROVIDE(ok = 0x00000001);\n"
            "PROVIDE(a.b = 0x00000002);\n"
            "/* 1x = 0x00000003 left out: not a name the linker reads bare */\n"
            "/* x*\\x2Fy = 0x00000004 left out: not a name the linker reads bare */\n"
            "/* tab\\x09 = 0x00000005 left out: not a name the linker reads bare */\n"
            "/* \\xC3\\xA9 = 0x00000006 left out: not a name the linker reads bare */\n"
            "PROVIDE(.dot_ok = 0x00000007);\n"
            "PROVIDE(\"SECTIONS\" = 0x00000008);\n");
}

// A selection over maps large enough to be made in two halves at once, the halves' boundary
// inside a map and between maps, chooses what a plain filter does, in map order.
TEST(Writers, LargeSelectionsAgreeWithAPlainFilter) {
  std::mt19937 random(41);
  std::vector<std::vector<MapSymbol>> tables = {std::vector<MapSymbol>(90000),
                                                std::vector<MapSymbol>(20000)};
  for (auto& table : tables) {
    for (MapSymbol& s : table)
      s = {"s",
           static_cast<std::uint32_t>(random()),
           1,
           static_cast<std::uint8_t>(1 + random() % 7),
           "ags"[random() % 3],
           -1};
  }
  for (std::size_t split : {0u, 1u}) {  // the second map empty, then whole
    std::vector<k8writers::MapSymbols> maps = {
        {"a", tables[0].data(), tables[0].size()},
        {"b", tables[1].data(), split ? tables[1].size() : 0}};
    k8writers::Selection selection = k8writers::DefaultSelection(ExportFormat::kLinkerScript);
    std::vector<const MapSymbol*> expected;
    for (const auto& map : maps) {
      for (std::size_t i = 0; i < map.count; ++i) {
        const MapSymbol& s = map.symbols[i];
        if ((selection.kinds & K8MAP_KIND_MASK(s.kind)) != 0 && s.scope == 'g')
          expected.push_back(&s);
      }
    }
    EXPECT_EQ(k8writers::SelectSymbols(maps, selection), expected);
  }
}

// The report's names, one text with a space between two: plain names across many rooms' worth,
// names of 15 to 17 bytes about the checks' 16-byte steps, and names with bytes to escape.
TEST(Report, NamesInOneText) {
  std::vector<std::string> names;
  for (int i = 0; i < 30000; ++i) names.push_back("name_" + std::to_string(i));
  for (const char* odd : {"a<b", "q\"uote", "\xC3\xA9t\xC3\xA9", "back\\slash", "ok_after"})
    names.push_back(odd);
  for (std::size_t length : {15u, 16u, 17u, 255u}) names.push_back(std::string(length, 'x'));
  std::vector<MapSymbol> symbols;
  for (const std::string& name : names) {
    symbols.push_back(
        {name.c_str(), static_cast<std::uint32_t>(symbols.size()), 1, K8MAP_KIND_ADDR, 'g', -1});
  }
  k8writers::ReportOptions options;
  options.kinds = k8writers::ReportDefaultKinds();
  k8writers::StringSink sink;
  k8writers::WriteReport({"m.map", symbols.data(), symbols.size()}, nullptr, options, sink);
  std::string expected = "\"names\":\"";
  for (const std::string& name : names) {
    std::string text = name == "a<b"           ? "a\\u003cb"
                       : name == "q\"uote"     ? "q\\\"uote"
                       : name == "back\\slash" ? "back\\\\slash"
                                               : name;
    expected += (&name == &names.front() ? "" : " ") + text;
  }
  EXPECT_NE(sink.text().find(expected + "\","), std::string::npos);
}

// Regions cut from pages alone (export without sizes) agree with regions cut from the sorted
// values, images between pages and inside one among them.
TEST(MemoryLayout, RegionsFromPagesAgreeWithSortedValues) {
  std::mt19937 random(37);
  const std::uint8_t kinds[] = {K8MAP_KIND_FUNC, K8MAP_KIND_VAR, K8MAP_KIND_LOC, K8MAP_KIND_EQU};
  const std::vector<std::vector<k8writers::ImageSpan>> image_sets = {
      {}, {{0x08000000, 0x10000}}, {{0x08001234, 0x100}}, {{0x20030000, 0x20000}}};
  for (std::uint32_t gap : {0x10000u, 0xFFFFu, 0x80000u, 0x1000u}) {
    for (const auto& images : image_sets) {
      std::vector<MapSymbol> given;
      for (int i = 0; i < 3000; ++i) {
        std::uint32_t base = std::array{0x08000000u, 0x20000000u, 0x40000000u}[random() % 3];
        std::uint32_t value = base + (random() % 4 == 0 ? random() : random() % 0x60000);
        given.push_back({"s", value, 1, kinds[random() % 4], 'g', -1});
      }
      std::vector<const MapSymbol*> symbols;
      for (const MapSymbol& s : given) symbols.push_back(&s);
      using k8writers::LayoutDetail;
      auto pages = k8writers::LayOutMemory(symbols, gap, images, LayoutDetail::kRegions);
      auto sorted = k8writers::LayOutMemory(symbols, gap, images, LayoutDetail::kSizes);
      for (std::size_t i = 0; i < symbols.size(); ++i) {
        ASSERT_EQ(pages.RegionOf(i, *symbols[i]), sorted.RegionOf(i, *symbols[i]))
            << std::hex << gap << " " << symbols[i]->value;
      }
      ASSERT_EQ(pages.regions.size(), sorted.regions.size());
      for (std::size_t r = 0; r < pages.regions.size(); ++r) {
        EXPECT_EQ(pages.regions[r].group, sorted.regions[r].group);
        EXPECT_EQ(pages.regions[r].number, sorted.regions[r].number);
        EXPECT_EQ(pages.regions[r].first, sorted.regions[r].first);
        EXPECT_EQ(pages.regions[r].last, sorted.regions[r].last);
      }
    }
  }
}

// Labels repeated across functions pair with the label of the same function, even where a new
// function before them holds one too; repeated objects pair in order; names once in each map
// pair whatever moved.
TEST(SymbolPairing, RepeatedLabelsPairByTheirFunction) {
  auto at = [](const char* name, std::uint32_t value, std::uint8_t kind) {
    return MapSymbol{name, value, 1, kind, 's', -1};
  };
  const std::vector<MapSymbol> before = {
      at("f1", 0x100, K8MAP_KIND_FUNC),    at("done", 0x110, K8MAP_KIND_LOC),
      at("f2", 0x200, K8MAP_KIND_FUNC),    at("done", 0x210, K8MAP_KIND_LOC),
      at("count", 0x1000, K8MAP_KIND_VAR), at("count", 0x1004, K8MAP_KIND_VAR)};
  const std::vector<MapSymbol> after = {
      at("f0", 0x80, K8MAP_KIND_FUNC),     at("done", 0x90, K8MAP_KIND_LOC),
      at("f1", 0x100, K8MAP_KIND_FUNC),    at("done", 0x118, K8MAP_KIND_LOC),
      at("f2", 0x300, K8MAP_KIND_FUNC),    at("done", 0x310, K8MAP_KIND_LOC),
      at("count", 0x1000, K8MAP_KIND_VAR), at("count", 0x1008, K8MAP_KIND_VAR)};
  k8writers::SizedMap old_map = k8writers::SizeMap({"old", before.data(), before.size()}, {});
  k8writers::SizedMap new_map = k8writers::SizeMap({"new", after.data(), after.size()}, {});
  k8writers::Pairing pairing =
      k8writers::PairSymbols(old_map.symbols, old_map.holders, new_map.symbols, new_map.holders);
  const std::vector<std::uint32_t> partners = {
      k8writers::kNoPartner, k8writers::kNoPartner, 0, 1, 2, 3, 4, 5};
  EXPECT_EQ(pairing.partners, partners);
  EXPECT_EQ(pairing.old_paired, std::vector<bool>(before.size(), true));
}

// A memory as the command line and memory files give it.
TEST(NamedMemory, FormsAndRefusals) {
  const struct {
    const char* text;
    std::uint32_t start;
    std::uint64_t size;  // 0: refused
  } cases[] = {{"FLASH=0x08000000,512K", 0x08000000, 512 * 1024},
               {" RAM = 20000000 , 0x20000 ", 0x20000000, 0x20000},
               {"EXT=0,4M", 0, 4 * 1024 * 1024},
               {"ALL=0,0x100000000", 0, 0x100000000},
               {"TOP=0xFFFFFF00,0x100", 0xFFFFFF00, 0x100},
               {"A=0,0x10K", 0, 0x10 * 1024},
               {"=0,1K", 0, 0},
               {"A B=0,1K", 0, 0},
               {"A=0x1G,1K", 0, 0},
               {"A=0,12Q", 0, 0},
               {"A=0,0", 0, 0},
               {"A=0xFFFFFF00,0x101", 0, 0},
               {"A=0,4097M", 0, 0},
               {"A,0=1K", 0, 0}};
  for (const auto& c : cases) {
    k8writers::NamedMemory memory;
    std::string error;
    bool ok = k8writers::ParseMemory(c.text, &memory, &error);
    EXPECT_EQ(ok, c.size != 0) << c.text << ": " << error;
    if (ok) {
      EXPECT_EQ(memory.start, c.start) << c.text;
      EXPECT_EQ(memory.size, c.size) << c.text;
    }
  }
}

}  // namespace
