// SPDX-License-Identifier: MIT
// Every allocation of a parse and of the lookups refused in turn, one per run: the library
// must then fail cleanly or do without, never crash, and never answer wrongly. The program
// replaces malloc and realloc for the whole process (so operator new and the helper thread go
// through them too), which is why it is a program of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "api/library.h"
#include "grammar/engine.h"
#include "grammar_test_util.h"
#include "kestrum8_map.h"
#include "lalr_builder.h"
#include "test_util.h"

extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_realloc(void* memory, std::size_t size);

namespace {

// Counts down the allocations of the armed run; the one that reaches zero is refused. The
// test's own thread counts only inside the library (InLibrary); the library's threads always.
std::atomic<long> g_countdown{0};
thread_local bool t_test_code = false;

bool RefuseThisOne() {
  return !t_test_code && g_countdown.load(std::memory_order_relaxed) > 0 &&
         g_countdown.fetch_sub(1) == 1;
}

template <class Call>
auto InLibrary(Call call) {
  t_test_code = false;
  auto result = call();
  t_test_code = true;
  return result;
}

}  // namespace

extern "C" void* malloc(std::size_t size) noexcept {
  return RefuseThisOne() ? nullptr : __libc_malloc(size);
}

extern "C" void* realloc(void* memory, std::size_t size) noexcept {
  return RefuseThisOne() ? nullptr : __libc_realloc(memory, size);
}

namespace k8map {
namespace {

using test::ReadFile;

// Several maps in one: continued names, one cut at 255 characters, all kinds, carriage
// returns, a value too long to convert, many short lines, and a Ctrl-Z before the end.
std::string SweepMap() {
  std::string text;
  for (const char* path :
       {K8MAP_SOURCE_DIR "/examples/sample.map", K8MAP_TEST_DATA "/crlf.map",
        K8MAP_TEST_DATA "/nine_digits.map", K8MAP_TEST_DATA "/name_classes.map"}) {
    text += ReadFile(path);
  }
  text += " " + std::string(200, 'n') + "+ Addr. g 0x10\n " + std::string(100, 'm') + "\n";
  // Lines shorter than the room a table reserves for each: its array grows.
  for (int i = 0; i < 2000; ++i) text += " s" + std::to_string(i % 10) + " Addr. g 0x1\n";
  return text + "\x1a after Addr. g 0x2\n";  // a Ctrl-Z ends the map
}

struct Answers {
  int result = 0;
  std::string message;
  std::vector<std::string> symbols;  // "name=value"
  std::vector<std::string> lookups;  // by name, by address, many by address
};

std::string Show(const MapSymbol* s) {
  return s == nullptr ? "none" : std::string(s->name) + "=" + std::to_string(s->value);
}

// One table's parse of text (from memory, or from the file at path) and its lookups.
bool TableAnswers(const std::string& text, const std::string& path, Answers* out) {
  SymbolTable* table = InLibrary(CreateSymbolTable);
  if (table == nullptr) return false;
  out->result = InLibrary([&] {
    return path.empty() ? ParseMapText(table, text.data(), text.size(), "sweep.map")
                        : ParseMapFile(table, path.c_str());
  });
  out->message = GetSymbolTableError(table);
  const MapSymbol* symbols = GetSymbols(table);
  for (std::size_t i = 0; i < GetSymbolCount(table); ++i) out->symbols.push_back(Show(&symbols[i]));
  for (const char* name : {"main", "absent", "uart_init"}) {
    out->lookups.push_back(Show(InLibrary([&] { return FindSymbolByName(table, name); })));
  }
  const std::uint32_t addresses[] = {0, 0x100, 0x1062, 0x2000, 0xFFFFFFFF};
  for (std::uint32_t address : addresses) {
    out->lookups.push_back(Show(InLibrary([&] { return FindSymbolByAddress(table, address); })));
  }
  const MapSymbol* many[5];
  InLibrary([&] { return FindSymbolsByAddress(table, addresses, 5, many); });
  for (const MapSymbol* s : many) out->lookups.push_back(Show(s));
  InLibrary([&] { return FreeSymbolTable(table), 0; });
  return true;
}

// The module-wide design's parse of the file at path, with the chunk helper when asked.
bool RecordAnswers(const std::string& path, bool helper, Answers* out) {
  auto lib = std::make_unique<Library>();
  if (helper) lib->parse.chunk_supply_threshold = 0;
  out->result = InLibrary([&] { return RunMapParse(*lib, path.c_str()); });
  out->message = lib->parse.error_message;
  for (const SymbolRecord* r = lib->records.head; r != nullptr; r = r->next) {
    out->symbols.push_back(std::string(r->name) + "=" + std::to_string(r->value));
  }
  InLibrary([&] { return FreeAll(lib->records), 0; });
  return true;
}

bool IsSubsequence(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
  auto at = whole.begin();
  for (const std::string& s : part) {
    at = std::find(at, whole.end(), s);
    if (at == whole.end()) return false;
    ++at;
  }
  return true;
}

// Runs `answers` once freely, then with its first, second, ... allocation refused until a run
// makes fewer allocations than the one refused. Each run either equals the free one or failed
// with a message, keeping only symbols the free run has, in its order; after a whole parse the
// lookups answer as in the free run (an index refused: searched without one).
template <class Run>
void Sweep(Run answers) {
  t_test_code = true;
  Answers free_run;
  ASSERT_TRUE(answers(&free_run));
  ASSERT_EQ(free_run.result, 0) << free_run.message;
  int failures = 0;
  for (long n = 1;; ++n) {
    Answers run;
    g_countdown = n;
    bool made = answers(&run);
    long left = g_countdown.exchange(0);
    if (left > 0) break;  // fewer than n allocations: every one has been refused once
    if (!made) continue;  // the table itself was refused
    SCOPED_TRACE("allocation " + std::to_string(n) + " refused");
    if (run.result == 0) {
      EXPECT_EQ(run.symbols, free_run.symbols);
      EXPECT_EQ(run.lookups, free_run.lookups);
    } else {
      ++failures;
      EXPECT_EQ(run.result, -1);
      EXPECT_NE(run.message, "");
      EXPECT_TRUE(IsSubsequence(run.symbols, free_run.symbols));
    }
  }
  t_test_code = false;
  EXPECT_GT(failures, 0) << "some refusal must show as a failed parse";
}

TEST(AllocationFailures, TableFromMemory) {
  std::string text = SweepMap();
  Sweep([&](Answers* out) { return TableAnswers(text, "", out); });
}

TEST(AllocationFailures, TableFromFile) {
  std::string path = test::WriteTempFile(SweepMap());
  Sweep([&](Answers* out) { return TableAnswers("", path, out); });
}

TEST(AllocationFailures, RecordList) {
  std::string path = test::WriteTempFile(SweepMap());
  Sweep([&](Answers* out) { return RecordAnswers(path, false, out); });
}

TEST(AllocationFailures, RecordListWithChunkHelper) {
  std::string path = test::WriteTempFile(SweepMap());
  Sweep([&](Answers* out) { return RecordAnswers(path, true, out); });
}

// A right-recursive grammar, S -> a S | a, whose stacks grow with its input: a growth refused
// ends the parse as stacks exhausted.
// An index refused memory: the lookup answers as without a refusal, the table says so, and the
// index is not asked for again before the next parse.
TEST(AllocationFailures, RefusedIndexIsToldAndNotAskedAgain) {
  std::string text = ReadFile(K8MAP_SOURCE_DIR "/examples/sample.map");
  for (std::uint32_t kinds : {std::uint32_t{K8MAP_KINDS_ADDRESS},
                              K8MAP_KIND_MASK(K8MAP_KIND_FUNC) | K8MAP_KIND_MASK(K8MAP_KIND_VAR)}) {
    SymbolTable* free_table = CreateSymbolTable();
    SymbolTable* table = CreateSymbolTable();
    ASSERT_EQ(ParseMapText(free_table, text.data(), text.size(), "m"), 0);
    ASSERT_EQ(ParseMapText(table, text.data(), text.size(), "m"), 0);
    const MapSymbol* want = FindNearestSymbol(free_table, 0x1062, kinds, K8MAP_NO_LIMIT);
    t_test_code = true;
    g_countdown = 1;
    const MapSymbol* got =
        InLibrary([&] { return FindNearestSymbol(table, 0x1062, kinds, K8MAP_NO_LIMIT); });
    EXPECT_EQ(g_countdown.exchange(0), 0) << "no allocation was refused";
    g_countdown = 1;
    const MapSymbol* again =
        InLibrary([&] { return FindNearestSymbol(table, 0x1062, kinds, K8MAP_NO_LIMIT); });
    EXPECT_EQ(g_countdown.exchange(0), 1) << "the refused index was asked for again";
    t_test_code = false;
    ASSERT_NE(want, nullptr);
    EXPECT_EQ(got - GetSymbols(table), want - GetSymbols(free_table));
    EXPECT_EQ(again, got);
    EXPECT_EQ(GetSymbolTableStatus(table), K8MAP_STATUS_INDEX_REFUSED);
    ASSERT_EQ(ParseMapText(table, text.data(), text.size(), "m"), 0);
    EXPECT_EQ(GetSymbolTableStatus(table), 0u) << "a parse forgets the refusal";
    FreeSymbolTable(table);
    FreeSymbolTable(free_table);
  }
}

TEST(AllocationFailures, EngineStacks) {
  GrammarInput grammar{3, 4, 3, {{0, {}}, {3, {2, 3}}, {3, {2}}}, {"end", "undefined", "a", "S"}};
  BuiltTables tables = BuildLalrTables(grammar);
  ParseTables view = tables.View();
  struct NoActions {
    void Reduce(int, SemanticValue*) {}
  } actions;
  t_test_code = true;
  for (long n = 1;; ++n) {
    auto stacks = std::make_unique<EngineStacks>();
    test::SequenceSource source;
    source.tokens.assign(1000, test::SeqToken{LINE_END, ""});
    g_countdown = n;
    int result = InLibrary([&] { return RunEngine(*stacks, view, source, actions); });
    long left = g_countdown.exchange(0);
    if (left > 0) {
      EXPECT_EQ(result, kParseAccepted) << "nothing refused";
      break;
    }
    EXPECT_EQ(result, kParseStackExhausted) << "allocation " << n << " refused";
  }
  t_test_code = false;
}

}  // namespace
}  // namespace k8map
