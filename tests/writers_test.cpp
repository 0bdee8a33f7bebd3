// SPDX-License-Identifier: MIT
// The export writers on names no map file yields but a host's symbols may hold: the header and
// the linker script leave them out with a comment that stays a comment.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "memory_layout.h"
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
  return sink.text;
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

}  // namespace

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
