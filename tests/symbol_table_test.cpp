// SPDX-License-Identifier: MIT
// Symbol tables: every kind with its fields, the same address symbols and messages as the record
// list, memory equal to files, the lookups, and what a host may get wrong.
#include "api/symbol_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "api/library.h"
#include "grammar_test_util.h"
#include "kestrum8_map.h"
#include "records/address_index.h"
#include "scanner/line_readers.h"
#include "test_files.h"
#include "test_util.h"

namespace k8map {
namespace {

using test::ReadFile;

// "name=0x1F Addr. g bit3 @5" per symbol, one a line.
std::string DescribeSymbols(const SymbolTable& table) {
  std::string out;
  for (std::size_t i = 0; i < table.store.count; ++i) {
    const MapSymbol& s = table.store.symbols[i];
    char line[400];
    std::snprintf(line, sizeof line, "%s=0x%X %s %c%s @%u\n", s.name,
                  static_cast<unsigned>(s.value), GetKindName(s.kind), s.scope,
                  s.bit >= 0 ? (" bit" + std::to_string(s.bit)).c_str() : "",
                  static_cast<unsigned>(s.line));
    out += line;
  }
  return out;
}

// The address symbols as the record list describes its records.
std::string DescribeAddressSymbols(const SymbolTable& table) {
  std::string out;
  for (std::size_t i = 0; i < table.store.count; ++i) {
    const MapSymbol& s = table.store.symbols[i];
    if (s.kind != K8MAP_KIND_ADDR && s.kind != K8MAP_KIND_LOC) continue;
    char value[16];
    std::snprintf(value, sizeof value, "0x%X", static_cast<unsigned>(s.value));
    out += (out.empty() ? "" : " ") + std::string(s.name) + "=" + value;
  }
  return out;
}

struct TableOutcome {
  int result;
  std::string message;
  std::string symbols;
  bool operator==(const TableOutcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TableOutcome& o) {
  return out << o.result << " " << o.message << "\n" << o.symbols;
}

TableOutcome ParseFileInto(SymbolTable& table, const std::string& path) {
  int result = ParseMapFile(&table, path.c_str());
  TableOutcome out{result, GetSymbolTableError(&table), DescribeSymbols(table)};
  FreeSymbols(table.store);
  return out;
}

TableOutcome ParseTextInto(SymbolTable& table, const std::string& text, const std::string& name) {
  int result = ParseMapText(&table, text.data(), text.size(), name.c_str());
  TableOutcome out{result, GetSymbolTableError(&table), DescribeSymbols(table)};
  FreeSymbols(table.store);
  return out;
}

// The maps the invariant is checked on: the test data, the fuzz corpora and regressions.
std::vector<std::string> ProjectMaps() {
  std::vector<std::string> paths;
  std::string source = K8MAP_SOURCE_DIR;
  for (const char* folder : {"/tests/data", "/fuzz/corpus/map", "/fuzz/regressions/parse"}) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(source + folder)) {
      if (entry.is_regular_file()) paths.push_back(entry.path().string());
    }
  }
  paths.push_back(source + "/examples/sample.map");
  return paths;
}

// Whatever a map holds: the table's address symbols are the record list's records, with the
// same message; the text in memory gives what the file gives; token by token and every
// line reader give the same symbols with all their fields.
void ExpectInvariant(const std::string& path, const std::string& label) {
  auto lib = std::make_unique<Library>();
  auto table = std::make_unique<SymbolTable>();
  int result = RunMapParse(*lib, path.c_str());
  int table_result = ParseMapFile(table.get(), path.c_str());
  EXPECT_EQ(table_result, result) << label;
  EXPECT_STREQ(GetSymbolTableError(table.get()), result != 0 ? lib->parse.error_message : "")
      << label;
  EXPECT_EQ(DescribeAddressSymbols(*table), test::DescribeRecords(lib->records)) << label;
  FreeAll(lib->records);
  FreeSymbols(table->store);
  TableOutcome from_file = ParseFileInto(*table, path);
  EXPECT_EQ(ParseTextInto(*table, ReadFile(path), path), from_file) << label;
  auto slow = std::make_unique<SymbolTable>();
  slow->parse.line_shortcut = false;
  EXPECT_EQ(ParseFileInto(*slow, path), from_file) << label << " token by token";
  // Each reader (the wide one also from narrow windows, as on 32-bit processors).
  for (int way = 0; way < 4; ++way) {
    LineReader reader = way < 3 ? static_cast<LineReader>(way) : LineReader::kWide;
    if (!LineReaderAvailable(reader)) continue;
    auto other = std::make_unique<SymbolTable>();
    other->parse.scanner.line_reader = reader;
    other->parse.scanner.narrow_windows = way == 3;
    other->parse.chunk_supply_threshold = 0;  // and with the helper thread
    EXPECT_EQ(ParseFileInto(*other, path), from_file) << label << " reader " << way;
  }
}

TEST(SymbolTable, InvariantOnProjectMaps) {
  for (const std::string& path : ProjectMaps()) ExpectInvariant(path, path);
}

// A table large enough to be indexed in two halves at once: every address symbol is found at
// its value as the first of its value, and every name as the first of its name.
TEST(SymbolTable, LookupsOnALargeTable) {
  std::string text;
  const char* kinds[] = {"Addr.", "Var.", "loc."};
  for (int i = 0; i < 150000; ++i) {
    text += " s" + std::to_string(i % 100000) + " " + kinds[i % 3] + " g 0x" +
            std::to_string((i * 7919) % 500000) + "\n";
  }
  auto table = std::make_unique<SymbolTable>();
  ASSERT_EQ(ParseMapText(table.get(), text.data(), text.size(), "big"), 0);
  const MapSymbol* symbols = GetSymbols(table.get());
  std::size_t count = GetSymbolCount(table.get());
  std::unordered_map<std::uint32_t, std::size_t> first_of_value;
  std::unordered_map<std::string, std::size_t> first_of_name;
  for (std::size_t i = 0; i < count; ++i) {
    if (symbols[i].kind != K8MAP_KIND_VAR) first_of_value.emplace(symbols[i].value, i);
    first_of_name.emplace(symbols[i].name, i);
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (symbols[i].kind != K8MAP_KIND_VAR) {
      ASSERT_EQ(FindSymbolByAddress(table.get(), symbols[i].value),
                symbols + first_of_value[symbols[i].value])
          << i;
    }
    ASSERT_EQ(FindSymbolByName(table.get(), symbols[i].name),
              symbols + first_of_name[symbols[i].name]);
  }
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(FindSymbolByName(table.get(), ("s" + std::to_string(100000 + i)).c_str()), nullptr);
  }
}

// Lookups through the indexes answer as searching every symbol does (what they do when memory for
// an index is refused).
TEST(SymbolTable, LookupsWithoutIndexesAnswerTheSame) {
  std::string text;
  for (int i = 0; i < 3000; ++i) {
    text += " n" + std::to_string(i % 1700) + (i % 4 == 0 ? " Var. g 0x" : " Addr. g 0x") +
            std::to_string((i * 37) % 2000 + 256) + "\n";
  }
  auto table = std::make_unique<SymbolTable>();
  ASSERT_EQ(ParseMapText(table.get(), text.data(), text.size(), "m"), 0);
  auto answers = [&] {
    std::vector<const MapSymbol*> out;
    std::vector<std::uint32_t> addresses;
    for (std::uint32_t a = 0; a < 0x3000; a += 7) {
      out.push_back(FindSymbolByAddress(table.get(), a));
      addresses.push_back(a);
    }
    std::vector<const MapSymbol*> many(addresses.size());
    FindSymbolsByAddress(table.get(), addresses.data(), addresses.size(), many.data());
    out.insert(out.end(), many.begin(), many.end());
    for (int i = 0; i < 1800; i += 3) {
      out.push_back(FindSymbolByName(table.get(), ("n" + std::to_string(i)).c_str()));
    }
    return out;
  };
  std::vector<const MapSymbol*> indexed = answers();
  table->indexes.Reset();
  table->indexes.indexing = false;
  EXPECT_EQ(answers(), indexed);
}

TEST(SymbolTable, InvariantOnGeneratedMaps) {
  // Every kind, bits, trailing words, continued entries of every kind, across buffer refills.
  std::string text = "Generated\n\n";
  const char* kinds[] = {"Addr.", "loc.", "EQU", "bit", "Func.", "Var.", "arg."};
  for (int i = 0; text.size() < 200000; ++i) {
    std::string name = "sym_" + std::to_string(i) + std::string(i % 37, 'x');
    text += "  " + name + std::string(1 + i % 9, ' ') + kinds[i % 7] + "  " + "ags"[i % 3] + " 0x" +
            std::to_string(i * 7919 % 100000000) +
            (i % 5 == 0 ? "(" + std::to_string(i % 10) + ")" : "") +
            (i % 11 == 0 ? " [4] *\n" : "\n");
    if (i % 13 == 0) {
      text += "  head_" + std::to_string(i) + "+ " + kinds[(i / 13) % 7] + " s 0x" +
              std::to_string(i) + (i % 2 ? "(7)" : "") + "\n  mid+\n  2nd+\n  tail\n";
    }
    if (i % 1000 == 999) text += "  nine Addr. g 0x123456789\n";
  }
  ExpectInvariant(test::WriteTempFile(text), "generated");
  ExpectInvariant(test::WriteTempFile(text + " bad.line Addr. g 0x1\n x+ Var. g 0x2\n"),
                  "generated, then a failure");
}

// Kinds, scopes, bits and lines of each kind, for continued names and after a failure.
TEST(SymbolTable, FieldsOfEveryKind) {
  auto table = std::make_unique<SymbolTable>();
  std::string path = std::string(K8MAP_SOURCE_DIR) + "/examples/sample.map";
  std::string expected = ReadFile(std::string(K8MAP_SOURCE_DIR) + "/tests/golden/sample.symbols");
  EXPECT_EQ(ParseFileInto(*table, path), (TableOutcome{0, "", expected}));

  std::string text =
      " a EQU a 0x10\n"
      " b+ bit s 0x20(5)\n"
      " c\n"
      " d Func. g 0x123456789\n"  // does not convert: no symbol
      " e loc. s 0x30\n"
      " f- Addr. g 0x40\n"  // a skipped line
      " g+ arg. a 0x50\n"
      " h+\n";  // cut short by the end of the input
  EXPECT_EQ(ParseTextInto(*table, text, "m"),
            (TableOutcome{-1, "m:9: syntax error. \"\" is invalid.\n",
                          "a=0x10 EQU a @1\nbc=0x20 bit s bit5 @2\ne=0x30 loc. s @5\n"}));
}

TEST(SymbolTable, ParsesAccumulateAndTheErrorIsTheLastParses) {
  auto table = std::make_unique<SymbolTable>();
  std::string bad = " a Addr. g 0x1\n b Addr. g 0x2 x.o\n";
  EXPECT_EQ(ParseMapText(table.get(), bad.data(), bad.size(), "one"), -1);
  EXPECT_STREQ(GetSymbolTableError(table.get()), "one:3: syntax error. \"\n\" is invalid.\n");
  EXPECT_EQ(ParseMapText(table.get(), " b Var. s 0x2\r\n\x1a junk", 22, "two"), 0);
  EXPECT_STREQ(GetSymbolTableError(table.get()), "");
  EXPECT_EQ(DescribeSymbols(*table), "a=0x1 Addr. g @1\nb=0x2 Var. s @1\n");
}

TEST(SymbolTable, FindsByNameAndAddress) {
  auto table = std::make_unique<SymbolTable>();
  std::string text =
      " low loc. s 0x100\n"
      " twin Addr. g 0x200\n"
      " twin2 Addr. g 0x200\n"
      " K EQU a 0x250\n"  // not an address
      " twin Var. g 0x300\n"
      " high Addr. g 0xFFFFFFF0\n";
  ASSERT_EQ(ParseMapText(table.get(), text.data(), text.size(), "m"), 0);
  const MapSymbol* symbols = GetSymbols(table.get());
  struct {
    std::uint32_t address;
    int expected;  // index, -1 for none
  } by_address[] = {{0x0, -1},  {0xFF, -1}, {0x100, 0},      {0x1FF, 0},      {0x200, 1},
                    {0x250, 1}, {0x300, 1}, {0xFFFFFFEF, 1}, {0xFFFFFFF0, 5}, {0xFFFFFFFF, 5}};
  for (const auto& c : by_address) {
    const MapSymbol* found = FindSymbolByAddress(table.get(), c.address);
    EXPECT_EQ(found, c.expected < 0 ? nullptr : symbols + c.expected) << c.address;
  }
  struct {
    const char* name;
    int expected;
  } by_name[] = {{"twin", 1}, {"K", 3}, {"twin2", 2}, {"tw", -1}, {"", -1}, {nullptr, -1}};
  for (const auto& c : by_name) {
    const MapSymbol* found = FindSymbolByName(table.get(), c.name);
    EXPECT_EQ(found, c.expected < 0 ? nullptr : symbols + c.expected) << (c.name ? c.name : "null");
  }
  // Many at once: the same answers, and how many were found.
  std::vector<std::uint32_t> addresses;
  for (const auto& c : by_address) addresses.push_back(c.address);
  std::vector<const MapSymbol*> many(addresses.size(), symbols);
  EXPECT_EQ(FindSymbolsByAddress(table.get(), addresses.data(), addresses.size(), many.data()), 8u);
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    EXPECT_EQ(many[i], FindSymbolByAddress(table.get(), addresses[i])) << addresses[i];
  }
  // A new parse forgets the indexes.
  ASSERT_EQ(ParseMapText(table.get(), " lower loc. s 0x80\n", 19, "n"), 0);
  EXPECT_STREQ(FindSymbolByAddress(table.get(), 0x90)->name, "lower");
  EXPECT_STREQ(FindSymbolByName(table.get(), "lower")->name, "lower");
}

const MapSymbol kNotWritten{};

TEST(SymbolTable, NullsNeverCrash) {
  EXPECT_EQ(ParseMapFile(nullptr, "x"), -1);
  EXPECT_EQ(ParseMapText(nullptr, "", 0, "x"), -1);
  EXPECT_EQ(GetSymbolCount(nullptr), 0u);
  EXPECT_EQ(GetSymbols(nullptr), nullptr);
  EXPECT_EQ(FindSymbolByName(nullptr, "a"), nullptr);
  EXPECT_EQ(FindSymbolByAddress(nullptr, 0), nullptr);
  EXPECT_STREQ(GetSymbolTableError(nullptr), "");
  std::uint32_t address = 1;
  const MapSymbol* found = &kNotWritten;
  EXPECT_EQ(FindSymbolsByAddress(nullptr, &address, 1, &found), 0u);
  EXPECT_EQ(found, nullptr) << "null answers for a null table";
  EXPECT_EQ(FindSymbolsByAddress(nullptr, nullptr, 1, &found), 0u);
  EXPECT_EQ(FindSymbolsByAddress(nullptr, &address, 1, nullptr), 0u);
  FreeSymbolTable(nullptr);
  EXPECT_EQ(GetSymbolTableErrorCode(nullptr), K8MAP_ERROR_NONE);
  EXPECT_EQ(GetSymbolTableErrorLine(nullptr), 0u);
  EXPECT_STREQ(GetSymbolTableErrorToken(nullptr), "");
  EXPECT_EQ(GetSymbolTableErrorSystem(nullptr), 0);
  EXPECT_EQ(SetSymbolTableFlags(nullptr, K8MAP_TABLE_NOTES), -1);
  EXPECT_EQ(GetNoteCount(nullptr), 0u);
  EXPECT_EQ(GetNotes(nullptr), nullptr);
  EXPECT_EQ(FindNearestSymbol(nullptr, 1, K8MAP_KINDS_ALL, K8MAP_NO_LIMIT), nullptr);
  found = &kNotWritten;
  EXPECT_EQ(FindNearestSymbols(nullptr, &address, 1, K8MAP_KINDS_ALL, 0, &found), 0u);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(FindSymbolsByName(nullptr, "a", nullptr, 0), 0u);
  std::uint32_t index = 0, offset = 1;
  EXPECT_EQ(FindNearestSymbolIndices(nullptr, &address, 1, K8MAP_KINDS_ALL, 0, &index, &offset),
            0u);
  EXPECT_EQ(index, K8MAP_NO_SYMBOL);
  EXPECT_EQ(offset, 0u);
  EXPECT_EQ(FindNearestSymbolIndices(nullptr, &address, 1, K8MAP_KINDS_ALL, 0, nullptr, &offset),
            0u);
  auto table = std::make_unique<SymbolTable>();
  EXPECT_EQ(SetSymbolTableFlags(table.get(), 2), -1) << "an unknown flag";
  EXPECT_EQ(FindSymbolsByName(table.get(), nullptr, nullptr, 0), 0u);
  SymbolTable* t = table.get();
  const char* kNoText = ": no text: a null pointer with a size of more than 0 bytes\n";
  struct {
    std::function<int()> parse;
    std::string message;
    int code;
  } cases[] = {
      {[t] { return ParseMapFile(t, nullptr); }, "can't open file (null)\n", K8MAP_ERROR_ARGUMENT},
      {[t] { return ParseMapText(t, nullptr, 5, "m"); }, "m" + std::string(kNoText),
       K8MAP_ERROR_ARGUMENT},
      {[t] { return ParseMapText(t, nullptr, 5, nullptr); }, "<text>" + std::string(kNoText),
       K8MAP_ERROR_ARGUMENT},
      {[t] { return ParseMapText(t, nullptr, 0, "m"); }, "m:1: syntax error. \"\" is invalid.\n",
       K8MAP_ERROR_SYNTAX},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.parse(), -1) << c.message;
    EXPECT_EQ(GetSymbolTableError(t), c.message);
    EXPECT_EQ(GetSymbolTableErrorCode(t), c.code) << c.message;
    EXPECT_EQ(GetSymbolTableErrorLine(t), c.code == K8MAP_ERROR_SYNTAX ? 1u : 0u);
  }
  EXPECT_EQ(GetSymbolCount(table.get()), 0u);
  EXPECT_EQ(GetSymbols(table.get()), nullptr);
  EXPECT_EQ(FindSymbolByName(table.get(), "a"), nullptr);
  EXPECT_EQ(FindSymbolByAddress(table.get(), 1), nullptr);
  EXPECT_STREQ(GetKindName(0), nullptr);
  EXPECT_STREQ(GetKindName(8), nullptr);
  EXPECT_STREQ(GetKindName(K8MAP_KIND_ARG), "arg.");
  EXPECT_STREQ(GetMapLibraryVersion(), K8MAP_VERSION);
  EXPECT_STREQ(GetMapDllVersion(), "kestrum8_map.dll Ver.1.0");
}

// Refuses to move or resize the array once it is made.
void* RefuseGrowth(void* memory, std::size_t size) {
  return memory == nullptr ? std::realloc(memory, size) : nullptr;
}

TEST(SymbolTable, SymbolsLostForWantOfMemoryAreReported) {
  auto table = std::make_unique<SymbolTable>();
  table->store.reallocate = RefuseGrowth;
  // Room for two symbols, made ahead from the text's size (30 bytes).
  std::string first = " a Addr. g 0x1\nheading line.\n";
  ASSERT_EQ(ParseMapText(table.get(), first.data(), first.size(), "m"), 0);
  std::string text = " b Var. g 0x2\n c loc. g 0x3\n d loc. g 0x4\n";
  EXPECT_EQ(ParseMapText(table.get(), text.data(), text.size(), "m"), -1);
  EXPECT_STREQ(GetSymbolTableError(table.get()), "m:2: out of memory\n");
  EXPECT_EQ(DescribeSymbols(*table), "a=0x1 Addr. g @1\nb=0x2 Var. g @1\n");
}

void* ThrowOnGrowth(void*, std::size_t) {
  throw std::bad_alloc();
}

// Grows as asked but throws when the array is trimmed after the parse.
void* ThrowOnTrim(void* memory, std::size_t size) {
  static std::size_t largest = 0;
  if (memory == nullptr) largest = 0;
  if (size < largest) throw std::bad_alloc();
  largest = size;
  return std::realloc(memory, size);
}

// An exception inside a table's parse (none is thrown there today), or after the parse's own
// guard (trimming the array), is a failed parse, said so.
TEST(SymbolTable, AnExceptionDuringOrAfterAParseIsAFailure) {
  struct Case {
    ArrayReallocator reallocate;
    std::string text;
    const char* message;
  } cases[] = {
      {ThrowOnGrowth, " a Addr. g 0x1\n", "m:1: out of memory\n"},
      {ThrowOnTrim, " a Addr. g 0x1\nroom for more symbols is made from the text's size\n",
       "out of memory\n"},
  };
  for (const Case& c : cases) {
    auto table = std::make_unique<SymbolTable>();
    table->store.reallocate = c.reallocate;
    EXPECT_EQ(ParseMapText(table.get(), c.text.data(), c.text.size(), "m"), -1);
    EXPECT_STREQ(GetSymbolTableError(table.get()), c.message);
    EXPECT_EQ(GetSymbolTableErrorCode(table.get()), K8MAP_ERROR_MEMORY);
  }
}

}  // namespace
}  // namespace k8map

namespace k8map {
namespace {

// Whatever sets of kinds are asked for, in whatever order, the address indexes together take
// at most twice what one index of every symbol takes.
TEST(SymbolIndexes, EveryKindSetTogetherTakesAtMostTwiceOneIndex) {
  const char* kinds[] = {"Addr.", "loc.", "EQU", "bit", "Func.", "Var.", "arg."};
  std::string text;
  std::uint32_t value = 0x08000000;
  for (std::uint32_t i = 0; i < 60000; ++i) {
    value += 1 + static_cast<std::uint32_t>(i * 2654435761u >> 28);
    text += " s" + std::to_string(i) + " " + kinds[(i * 7919) % 7] + " g 0x" +
            std::to_string(value % 100000000) + "\n";
  }
  auto table = std::make_unique<SymbolTable>();
  ASSERT_EQ(ParseMapText(table.get(), text.data(), text.size(), "m"), 0);
  for (std::uint32_t set = 127; set >= 1; --set) {
    FindNearestSymbol(table.get(), 0x09000000, set << 1, K8MAP_NO_LIMIT);
  }
  std::unique_ptr<AddressIndex> every(
      AddressIndex::Build(GetSymbols(table.get()), GetSymbolCount(table.get()), K8MAP_KINDS_ALL));
  ASSERT_NE(every, nullptr);
  EXPECT_LE(table->indexes.AddressIndexBytes(), 2 * every->Bytes());
  EXPECT_EQ(GetSymbolTableStatus(table.get()), 0u);
}

}  // namespace
}  // namespace k8map
