// SPDX-License-Identifier: MIT
// Symbol tables on many threads at once: each thread parsing its own tables, others looking up
// in one shared table (whose indexes the first of them builds), and the record-list exports on
// a thread of their own. Every answer must be what one thread alone gets. The ThreadSanitizer
// build runs this too.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "kestrum8_map.h"
#include "test_util.h"

namespace k8map {
namespace {

// A map of count symbols of every kind, the address ones at values seed * 0x100000 + 16 * i.
std::string MapText(int seed, int count) {
  static const char* const kKinds[] = {"Addr.", "EQU", "loc.", "Var.", "bit", "Func.", "arg."};
  std::string text = "Map " + std::to_string(seed) + "\n\n";
  for (int i = 0; i < count; ++i) {
    const char* kind = kKinds[i % 7];
    char value[16];
    std::snprintf(value, sizeof value, "0x%X", static_cast<unsigned>(seed * 0x100000 + 16 * i));
    text +=
        "  s" + std::to_string(seed) + "_" + std::to_string(i) + " " + kind + " g " + value + "\n";
    if (i % 50 == 0) text += "  long_" + std::to_string(i) + "+ loc. s " + value + "\n  tail\n";
  }
  return text;
}

// What one thread alone reads from a text: the count, and a digest of every symbol.
std::uint64_t Digest(const SymbolTable* table) {
  std::uint64_t hash = GetSymbolCount(table);
  const MapSymbol* symbols = GetSymbols(table);
  for (std::size_t i = 0; i < GetSymbolCount(table); ++i) {
    for (const char* c = symbols[i].name; *c != '\0'; ++c) hash = (hash ^ *c) * 1099511628211u;
    hash = (hash ^ symbols[i].value ^ symbols[i].line << 8 ^ symbols[i].kind) * 1099511628211u;
  }
  return hash;
}

std::uint64_t ParseAlone(const std::string& text) {
  SymbolTable* table = CreateSymbolTable();
  ParseMapText(table, text.data(), text.size(), "alone");
  std::uint64_t digest = Digest(table);
  FreeSymbolTable(table);
  return digest;
}

TEST(Threads, TablesParseAndLookUpAtOnceWithTheRecordListBeside) {
  constexpr int kParsers = 3, kLookers = 2, kRounds = 6, kSymbols = 3000;
  std::vector<std::string> texts;
  std::vector<std::uint64_t> expected;
  for (int t = 0; t < kParsers; ++t) {
    texts.push_back(MapText(t + 1, kSymbols + 100 * t));
    expected.push_back(ParseAlone(texts.back()));
  }
  std::string shared_text = MapText(9, kSymbols);
  SymbolTable* shared = CreateSymbolTable();
  ASSERT_EQ(ParseMapText(shared, shared_text.data(), shared_text.size(), "shared"), 0);
  std::string legacy_path = test::WriteTempFile(MapText(7, 500));

  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kParsers; ++t) {
    threads.emplace_back([&, t] {
      std::string path = test::WriteTempFile(texts[t]);
      for (int round = 0; round < kRounds; ++round) {
        SymbolTable* table = CreateSymbolTable();
        bool from_file = round % 2 == 1;
        int result = from_file ? ParseMapFile(table, path.c_str())
                               : ParseMapText(table, texts[t].data(), texts[t].size(), "t");
        if (result != 0 || Digest(table) != expected[t]) ++failures;
        const MapSymbol* found = FindSymbolByAddress(table, (t + 1) * 0x100000 + 16 * 7 + 3);
        if (found == nullptr ||
            found->value != static_cast<std::uint32_t>((t + 1) * 0x100000 + 16 * 7))
          ++failures;
        FreeSymbolTable(table);
      }
    });
  }
  for (int t = 0; t < kLookers; ++t) {
    threads.emplace_back([&, t] {
      for (int i = t == 0 ? 0 : 2; i < kSymbols; i += 7) {  // the Addr. or the loc. symbols
        std::uint32_t value = 9 * 0x100000 + 16 * i;
        const MapSymbol* by_address = FindSymbolByAddress(shared, value + 5);
        std::string name = "s9_" + std::to_string(i);
        const MapSymbol* by_name = FindSymbolByName(shared, name.c_str());
        if (by_address == nullptr || by_address->value != value || by_name == nullptr ||
            by_name->value != value) {
          ++failures;
        }
      }
    });
  }
  threads.emplace_back([&] {
    for (int round = 0; round < kRounds; ++round) {
      if (MapParse(legacy_path.c_str()) != 0 || GetRecordCount() != 500 / 7 * 2 + 2 + 10) {
        ++failures;
      }
      FreeAllRecords();
    }
  });
  for (std::thread& thread : threads) thread.join();
  FreeSymbolTable(shared);
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace k8map
