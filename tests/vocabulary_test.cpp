// SPDX-License-Identifier: MIT
// The format's words, written once, against what uses them: each kind keyword, scope letter and
// the name limit as the scanner reads them from a map, and the kind names the API gives.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/map_vocabulary.h"
#include "kestrum8_map.h"
#include "scanner/hex_convert.h"

namespace k8map {
namespace {

using Table = std::unique_ptr<SymbolTable, decltype(&FreeSymbolTable)>;

Table Parse(const std::string& text, int expected = K8MAP_OK) {
  Table table(CreateSymbolTable(), FreeSymbolTable);
  EXPECT_EQ(ParseMapText(table.get(), text.data(), text.size(), "v.map"), expected) << text;
  return table;
}

TEST(Vocabulary, EveryKindKeywordReadsAsItsKindAndNamesIt) {
  for (int kind = 1; kind <= kKindCount; ++kind) {
    std::string keyword(KindKeyword(kind));
    Table table = Parse(" s " + keyword + " g 0x10\n");
    ASSERT_EQ(GetSymbolCount(table.get()), 1u) << keyword;
    EXPECT_EQ(GetSymbols(table.get())[0].kind, kind) << keyword;
    EXPECT_EQ(FindNearestSymbol(table.get(), 0x10, K8MAP_KINDS_ADDRESS, 0) != nullptr,
              IsAddressKind(kind))
        << keyword;
    EXPECT_EQ(GetKindName(kind), keyword);
    EXPECT_EQ(GetKindByName(keyword.c_str()), kind);
    // Only the keyword as a map writes it names a kind.
    std::string lower = keyword, undotted = keyword;
    for (char& c : lower) c = static_cast<char>(c | 0x20);
    if (undotted.back() == '.') undotted.pop_back();
    EXPECT_EQ(GetKindByName(lower.c_str()), lower == keyword ? kind : 0) << lower;
    EXPECT_EQ(GetKindByName(undotted.c_str()), undotted == keyword ? kind : 0) << undotted;
  }
  EXPECT_EQ(GetKindName(0), nullptr);
  EXPECT_EQ(GetKindName(kKindCount + 1), nullptr);
  EXPECT_EQ(GetKindByName(nullptr), 0);
  EXPECT_EQ(GetKindByName(""), 0);
}

TEST(Vocabulary, ScopeLettersAndTheNameLimit) {
  for (char letter = ' '; letter < 0x7F; ++letter) {
    bool scope = IsScopeLetter(static_cast<unsigned char>(letter));
    Table table = Parse(" s Var. " + std::string(1, letter) + " 0x10\n", scope ? K8MAP_OK : -1);
    EXPECT_EQ(scope, kScopeLetters.find(letter) != std::string_view::npos) << letter;
    ASSERT_EQ(GetSymbolCount(table.get()), scope ? 1u : 0u) << letter;
    if (scope) {
      EXPECT_EQ(GetSymbols(table.get())[0].scope, letter);
    }
  }
  std::string longest(kLongestName, 'n');
  Table table = Parse(" " + longest + "xyz Addr. g 0x10\n " + longest + " Addr. g 0x20\n");
  ASSERT_EQ(GetSymbolCount(table.get()), 2u);
  EXPECT_EQ(GetSymbols(table.get())[0].name, longest) << "cut to the limit";
  EXPECT_EQ(GetSymbols(table.get())[1].name, longest);
}

TEST(Vocabulary, HexDigitValuesAreTheScannersAndTheConversions) {
  int digits = 0;
  for (int c = '!'; c < 0x7F; ++c) {
    int digit = HexDigitValue(static_cast<unsigned char>(c));
    std::uint32_t value = 0;
    std::string text = "0x1" + std::string(1, static_cast<char>(c));
    if (c == 'h' || c == 'H') continue;  // a suffix: "1FH"
    EXPECT_EQ(ConvertHexText(text.c_str(), &value) == 0, digit >= 0) << text;
    if (digit < 0) continue;
    ++digits;
    EXPECT_EQ(value, 0x10u + static_cast<unsigned>(digit)) << text;
    Table table = Parse(" s Var. g " + text + "\n");
    ASSERT_EQ(GetSymbolCount(table.get()), 1u) << text;
    EXPECT_EQ(GetSymbols(table.get())[0].value, 0x10u + static_cast<unsigned>(digit)) << text;
  }
  EXPECT_EQ(digits, 22);
}

}  // namespace
}  // namespace k8map
