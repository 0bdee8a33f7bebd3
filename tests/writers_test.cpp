// SPDX-License-Identifier: MIT
// The export writers on names no map file yields but a host's symbols may hold: the header and
// the linker script leave them out with a comment that stays a comment.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
