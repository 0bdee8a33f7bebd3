// SPDX-License-Identifier: MIT
// What a table's failed parse says in structured terms (code, line, token, system error), and
// the bounded, kind-aware finds against a search of every symbol, with appends and threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "api/symbol_table.h"
#include "kestrum8_map.h"
#include "test_util.h"

namespace k8map {
namespace {

struct Table {
  SymbolTable* t = CreateSymbolTable();
  ~Table() { FreeSymbolTable(t); }
};

struct Failure {
  int code;
  std::uint64_t line;
  std::string token;
  int system;
  bool operator==(const Failure&) const = default;
};

Failure FailureOf(const SymbolTable* t) {
  return {GetSymbolTableErrorCode(t), GetSymbolTableErrorLine(t), GetSymbolTableErrorToken(t),
          GetSymbolTableErrorSystem(t)};
}

void PrintTo(const Failure& f, std::ostream* os) {
  *os << "code " << f.code << " line " << f.line << " token '" << f.token << "' system "
      << f.system;
}

TEST(TableErrors, EachFailureSaysItsCodeLineAndToken) {
  const std::string long_word(9000, 'a');
  struct Case {
    std::string text;
    Failure failure;
  } cases[] = {
      {" a Addr. g 0x1\n", {K8MAP_ERROR_NONE, 0, "", 0}},
      {"\n", {K8MAP_ERROR_NONE, 0, "", 0}},
      {"", {K8MAP_ERROR_SYNTAX, 1, "", 0}},
      {" a Addr. g 0x1", {K8MAP_ERROR_SYNTAX, 1, "", 0}},
      {" a Addr. g 0x1\n\n", {K8MAP_ERROR_NONE, 0, "", 0}},
      {" a+ Addr. g 0x1\n\n", {K8MAP_ERROR_SYNTAX, 2, "\n", 0}},
      {" a+ Addr. g 0x1\n b+ Addr. g 0x2\n", {K8MAP_ERROR_SYNTAX, 2, "Addr.", 0}},
      {" a+ Addr. g 0x1\n b+\n", {K8MAP_ERROR_SYNTAX, 2, "", 0}},
      {"x\n " + long_word + "\n", {K8MAP_ERROR_TOKEN_TOO_LONG, 2, "", 0}},
  };
  for (const Case& c : cases) {
    Table table;
    int result = ParseMapText(table.t, c.text.data(), c.text.size(), "m");
    EXPECT_EQ(result, c.failure.code == K8MAP_ERROR_NONE ? 0 : -1) << c.text;
    EXPECT_EQ(FailureOf(table.t), c.failure) << c.text;
  }
}

// The message's line is the error line, or one more after a line end.
TEST(TableErrors, MessageLineAgreesWithErrorLine) {
  Table table;
  std::string text = " a Addr. g 0x1\n b Addr. g 0x2 x.o\n c Addr. g 0x3\n";
  ASSERT_EQ(ParseMapText(table.t, text.data(), text.size(), "m"), -1);
  EXPECT_EQ(FailureOf(table.t), (Failure{K8MAP_ERROR_SYNTAX, 2, "\n", 0}));
  EXPECT_STREQ(GetSymbolTableError(table.t), "m:3: syntax error. \"\n\" is invalid.\n");
}

long FailingRead(int, void*, std::size_t) {
  errno = EIO;
  return -1;
}

TEST(TableErrors, OpenAndReadFailuresGiveTheSystemsNumber) {
  Table table;
  std::string missing = (std::filesystem::temp_directory_path() / "k8map-none/x.map").string();
  EXPECT_EQ(ParseMapFile(table.t, missing.c_str()), -1);
  EXPECT_EQ(FailureOf(table.t), (Failure{K8MAP_ERROR_OPEN, 0, "", ENOENT}));
  std::string folder = std::filesystem::temp_directory_path().string();
  EXPECT_EQ(ParseMapFile(table.t, folder.c_str()), -1);
  EXPECT_EQ(FailureOf(table.t), (Failure{K8MAP_ERROR_OPEN, 0, "", EISDIR})) << "on Windows too";
  std::string path = test::WriteTempFile(" a Addr. g 0x1\n");
  table.t->parse.scanner.read = FailingRead;
  EXPECT_EQ(ParseMapFile(table.t, path.c_str()), -1);
  EXPECT_EQ(FailureOf(table.t), (Failure{K8MAP_ERROR_READ, 1, "", EIO}));
  table.t->parse.scanner.read = nullptr;
  EXPECT_EQ(ParseMapFile(table.t, path.c_str()), 0);
  EXPECT_EQ(FailureOf(table.t), (Failure{K8MAP_ERROR_NONE, 0, "", 0})) << "a success clears it";
}

TEST(TableErrors, LongPathKeepsItsLine) {
  Table table;
  std::string name(300, 'p');
  std::string text = " a Addr. g 0x1\n b\n";
  ASSERT_EQ(ParseMapText(table.t, text.data(), text.size(), name.c_str()), -1);
  EXPECT_EQ(std::string(GetSymbolTableError(table.t)).size(), 255u) << "the message is cut";
  EXPECT_EQ(GetSymbolTableErrorLine(table.t), 2u);
}

// The number says what the text says.
TEST(TableApi, VersionNumberMatchesTheText) {
  int major = -1, minor = -1, patch = -1;
  ASSERT_EQ(std::sscanf(GetMapLibraryVersion(), "%d.%d.%d", &major, &minor, &patch), 3);
  EXPECT_EQ(GetMapLibraryVersionNumber(), major * 10000 + minor * 100 + patch);
}

// A random map: values drawn from a small range (many equal values), every kind.
std::string RandomMap(std::mt19937& random, int count) {
  static const char* const kKinds[] = {"Addr.", "loc.", "EQU", "bit", "Func.", "Var.", "arg."};
  std::string text;
  for (int i = 0; i < count; ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "  n%u %s %c 0x%X\n", static_cast<unsigned>(random() % 40),
                  kKinds[random() % 7], "ags"[random() % 3],
                  static_cast<unsigned>(random() % 4000) * 16);
    text += line;
  }
  return text;
}

const MapSymbol* Brute(const SymbolTable* t, std::uint32_t address, std::uint32_t kinds,
                       std::uint32_t max_offset) {
  const MapSymbol* best = nullptr;
  const MapSymbol* s = GetSymbols(t);
  for (std::size_t i = 0; i < GetSymbolCount(t); ++i) {
    if (((kinds >> s[i].kind) & 1) && s[i].value <= address &&
        (best == nullptr || s[i].value > best->value)) {
      best = &s[i];
    }
  }
  return best != nullptr && address - best->value <= max_offset ? best : nullptr;
}

// Every find of a table against the brute search, for random masks and bounds.
void CheckFinds(const SymbolTable* t, std::mt19937& random) {
  for (int round = 0; round < 40; ++round) {
    auto kinds = static_cast<std::uint32_t>(random());
    std::uint32_t bound = round % 4 == 0 ? K8MAP_NO_LIMIT : random() % 0x300;
    std::vector<std::uint32_t> addresses(64);
    for (auto& a : addresses) a = random() % 0x10000;
    addresses[0] = 0xFFFFFFFFu;
    std::vector<const MapSymbol*> many(addresses.size());
    std::size_t found =
        FindNearestSymbols(t, addresses.data(), addresses.size(), kinds, bound, many.data());
    std::vector<std::uint32_t> indices(addresses.size()), offsets(addresses.size());
    std::size_t numbered = FindNearestSymbolIndices(t, addresses.data(), addresses.size(), kinds,
                                                    bound, indices.data(), offsets.data());
    std::size_t expected = 0;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      const MapSymbol* want = Brute(t, addresses[i], kinds & K8MAP_KINDS_ALL, bound);
      expected += want != nullptr;
      ASSERT_EQ(FindNearestSymbol(t, addresses[i], kinds, bound), want)
          << std::hex << addresses[i] << " kinds " << kinds << " bound " << bound;
      ASSERT_EQ(many[i], want);
      ASSERT_EQ(indices[i], want != nullptr ? want - GetSymbols(t) : K8MAP_NO_SYMBOL);
      ASSERT_EQ(offsets[i], want != nullptr ? addresses[i] - want->value : 0u);
    }
    EXPECT_EQ(found, expected);
    EXPECT_EQ(numbered, expected);
  }
  for (int n = 0; n < 42; ++n) {
    std::string name = "n" + std::to_string(n);
    std::vector<const MapSymbol*> want;
    for (std::size_t i = 0; i < GetSymbolCount(t); ++i) {
      if (name == GetSymbols(t)[i].name) want.push_back(&GetSymbols(t)[i]);
    }
    std::vector<const MapSymbol*> all(want.size() + 1);
    ASSERT_EQ(FindSymbolsByName(t, name.c_str(), all.data(), all.size()), want.size());
    all.pop_back();
    EXPECT_EQ(all, want) << name;
    const MapSymbol* first = nullptr;
    EXPECT_EQ(FindSymbolsByName(t, name.c_str(), &first, want.empty() ? 0 : 1), want.size());
    EXPECT_EQ(first, want.empty() ? nullptr : want[0]);
  }
}

TEST(TableFinds, AgreeWithSearchingEverySymbol) {
  std::mt19937 random(7);
  for (bool indexing : {true, false}) {
    Table table;
    table.t->indexes.indexing = indexing;
    for (int append = 0; append < 3; ++append) {  // indexes made anew after each append
      std::string text = RandomMap(random, 500);
      ASSERT_EQ(ParseMapText(table.t, text.data(), text.size(), "m"), 0);
      CheckFinds(table.t, random);
    }
    EXPECT_EQ(FindSymbolByAddress(table.t, 0x5000),
              FindNearestSymbol(table.t, 0x5000, K8MAP_KINDS_ADDRESS, K8MAP_NO_LIMIT));
  }
}

// The finer tables of crowded parts: values packed at every step, crowded at a part's edges,
// spread, clustered with an outlier near the top; each value and its neighbours looked up.
TEST(TableFinds, AgreeOnEveryLayoutOfValues) {
  struct Layout {
    const char* name;
    std::uint32_t base, step, count;
  };
  const Layout layouts[] = {
      {"every address", 0x08000000, 1, 70000},      {"every fourth", 0x0800FF00, 4, 30000},
      {"part edges", 0x2000FFF0, 0x8001, 300},      {"spread", 0, 0x10003, 60000},
      {"a few to a part", 0x40000000, 0x3001, 900}, {"to the top", 0xFFFF0000, 0x11, 3855},
  };
  std::mt19937 random(39);
  for (const Layout& layout : layouts) {
    std::string text;
    std::vector<std::uint32_t> addresses = {0, 0xFFFFFFFFu, 0xFFFFFFF0u};
    for (std::uint32_t i = 0; i < layout.count; ++i) {
      std::uint32_t value = layout.base + i * layout.step;
      char line[64];
      std::snprintf(line, sizeof line, "  s%u %s g 0x%X\n", static_cast<unsigned>(i),
                    i % 3 == 0 ? "Func." : "Addr.", static_cast<unsigned>(value));
      text += line;
      if (random() % 8 == 0) addresses.insert(addresses.end(), {value - 1, value, value + 1});
    }
    text += "  outlier Addr. g 0xFFFFFFF0\n";
    for (int i = 0; i < 2000; ++i)
      addresses.push_back(layout.base + random() % (layout.count * layout.step + 2));
    Table table;
    ASSERT_EQ(ParseMapText(table.t, text.data(), text.size(), "m"), 0);
    // The address symbols' own index, a kind's, and a set answered from its kinds' indexes.
    for (std::uint32_t kinds :
         {std::uint32_t{K8MAP_KINDS_ADDRESS}, K8MAP_KIND_MASK(K8MAP_KIND_FUNC),
          K8MAP_KINDS_ADDRESS | K8MAP_KIND_MASK(K8MAP_KIND_FUNC)}) {
      std::vector<std::uint32_t> indices(addresses.size()), offsets(addresses.size());
      FindNearestSymbolIndices(table.t, addresses.data(), addresses.size(), kinds, K8MAP_NO_LIMIT,
                               indices.data(), offsets.data());
      // The answer by a sorted copy: the last value at or below, its first symbol in table order.
      std::vector<std::pair<std::uint32_t, std::size_t>> sorted;
      for (std::size_t i = 0; i < GetSymbolCount(table.t); ++i) {
        const MapSymbol& s = GetSymbols(table.t)[i];
        if ((kinds >> s.kind) & 1) sorted.emplace_back(s.value, i);
      }
      std::sort(sorted.begin(), sorted.end());
      for (std::size_t i = 0; i < addresses.size(); ++i) {
        auto above =
            std::upper_bound(sorted.begin(), sorted.end(),
                             std::pair{addresses[i], std::numeric_limits<std::size_t>::max()});
        const MapSymbol* want = nullptr;
        if (above != sorted.begin()) {
          auto first = std::lower_bound(sorted.begin(), above,
                                        std::pair{std::prev(above)->first, std::size_t{0}});
          want = &GetSymbols(table.t)[first->second];
        }
        ASSERT_EQ(indices[i], want != nullptr ? want - GetSymbols(table.t) : K8MAP_NO_SYMBOL)
            << layout.name << " kinds " << kinds << " " << std::hex << addresses[i];
        ASSERT_EQ(FindNearestSymbol(table.t, addresses[i], kinds, K8MAP_NO_LIMIT), want);
      }
    }
  }
}

// The README's examples of lines that are skipped and of lines that stop a parse, each followed
// by an entry: read past (its symbol made) or not.
std::vector<std::string> ReadmeExamples(const std::string& bullet_start) {
  std::string readme = test::ReadFile(K8MAP_SOURCE_DIR "/README.md");
  std::size_t at = readme.find("\n- " + bullet_start);
  std::size_t end = readme.find("\n- ", at + 1);
  std::string bullet;  // its lines joined as Markdown joins them
  for (std::size_t i = at + 3; i < end; ++i) {
    if (readme[i] != '\n') {
      bullet += readme[i];
      continue;
    }
    bullet += ' ';
    while (i + 1 < end && readme[i + 1] == ' ') ++i;
  }
  std::vector<std::string> examples;
  for (std::size_t open = bullet.find('`'); open != std::string::npos;) {
    std::size_t close = bullet.find('`', open + 1);
    std::string span = bullet.substr(open + 1, close - open - 1);
    if (span.rfind("  ", 0) == 0) examples.push_back(span);
    open = bullet.find('`', close + 1);
  }
  return examples;
}

TEST(TableParse, TheReadmeSaysWhichLinesStopAParse) {
  for (bool stops : {false, true}) {
    auto examples =
        ReadmeExamples(stops ? "Lines that stop the parse" : "Lines that make no symbol");
    EXPECT_GE(examples.size(), 5u);
    for (const std::string& line : examples) {
      Table table;
      std::string text = line + "\n  after Addr. g 0x1\n";
      int32_t result = ParseMapText(table.t, text.data(), text.size(), "m");
      EXPECT_EQ(result, stops ? -1 : 0) << "'" << line << "'";
      EXPECT_EQ(FindSymbolByName(table.t, "after") != nullptr, !stops) << "'" << line << "'";
    }
  }
}

TEST(TableFinds, ManyThreadsAskAtOnce) {
  std::mt19937 random(11);
  Table table;
  std::string text = RandomMap(random, 5000);
  ASSERT_EQ(ParseMapText(table.t, text.data(), text.size(), "m"), 0);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&table, i] {
      std::mt19937 own(100 + i);
      CheckFinds(table.t, own);
    });
  }
  for (auto& thread : threads) thread.join();
}

}  // namespace
}  // namespace k8map
