// SPDX-License-Identifier: MIT
// The engine's own behaviour: result codes, error reports, reading the end of input, stacks.
#include <gtest/gtest.h>

#include "grammar/map_actions.h"
#include "grammar_test_util.h"
#include "lalr_builder.h"

namespace k8map {
namespace {

struct NoActions {
  void Reduce(int, SemanticValue*) {}
};

struct RunResult {
  int result;
  EngineStats stats;
  int end_reads;
};

RunResult RunMap(const std::string& sequence) {
  GrammarState state;
  RecordList records;
  ParseReport report;
  test::SequenceSource source;
  source.tokens = test::ParseSequence(sequence);
  MapActions actions{state, records, report, nullptr};
  RunResult run;
  run.result = RunEngine(kMapTables, source, actions, &run.stats);
  run.end_reads = source.end_reads;
  FreeAll(records);
  return run;
}

TEST(Engine, GoodInputReadsTheEndOfInputExactlyOnce) {
  RunResult run = RunMap("LINE_END NAME(a) ADDRESS_KIND SCOPE HEX(1) ENTRY_LINE_END LINE_END");
  EXPECT_EQ(run.result, kParseAccepted);
  EXPECT_EQ(run.end_reads, 1);
  EXPECT_EQ(run.stats.error_reports, 0);
}

TEST(Engine, SyntaxErrorReportsParseErrorOnce) {
  RunResult run = RunMap("");
  EXPECT_EQ(run.result, kParseRejected);
  EXPECT_EQ(run.stats.error_reports, 1);
  EXPECT_STREQ(run.stats.last_report, kParseErrorMessage);
}

TEST(Engine, DeepestShapeOfTheMapGrammarNeedsSevenEntries) {
  RunResult run = RunMap("LINE_END NAME(a) ADDRESS_KIND LINE_END SCOPE LINE_END");
  EXPECT_EQ(run.result, kParseAccepted);
  EXPECT_EQ(run.stats.max_depth, 7);
  EXPECT_EQ(run.stats.capacity, kInitialStackDepth);
}

// A right-recursive test grammar, S -> a S | a, whose stack grows with its input.
struct RightRecursive {
  GrammarInput grammar{3, 4, 3, {{0, {}}, {3, {2, 3}}, {3, {2}}}, {"end", "undefined", "a", "S"}};
  BuiltTables tables = BuildLalrTables(grammar);
};

RunResult RunRightRecursive(int tokens) {
  static RightRecursive g;
  test::SequenceSource source;
  source.tokens.assign(static_cast<std::size_t>(tokens), test::SeqToken{LINE_END, ""});
  NoActions actions;
  RunResult run;
  ParseTables view = g.tables.View();
  run.result = RunEngine(view, source, actions, &run.stats);
  run.end_reads = source.end_reads;
  return run;
}

TEST(Engine, StacksGrowByDoublingUpTo10000) {
  ASSERT_TRUE(RightRecursive().tables.conflicts.empty());
  struct Case {
    int tokens, result, capacity;
  } cases[] = {
      {198, kParseAccepted, 200},           // 199 entries: room left
      {199, kParseAccepted, 400},           // 200 entries fill the first stacks
      {3199, kParseAccepted, 6400},         //
      {6399, kParseAccepted, 10000},        // 6400 entries: capped at 10000, not 12800
      {9998, kParseAccepted, 10000},        // 9999 entries
      {9999, kParseStackExhausted, 10000},  // 10000 entries fill the largest stacks
  };
  for (const Case& c : cases) {
    RunResult run = RunRightRecursive(c.tokens);
    EXPECT_EQ(run.result, c.result) << c.tokens;
    EXPECT_EQ(run.stats.capacity, c.capacity) << c.tokens;
    EXPECT_EQ(run.stats.max_depth, std::min(c.tokens + 1, kMaxStackDepth)) << c.tokens;
  }
  RunResult overflow = RunRightRecursive(20000);
  EXPECT_EQ(overflow.stats.error_reports, 1);
  EXPECT_STREQ(overflow.stats.last_report, kStackOverflowMessage);
}

}  // namespace
}  // namespace k8map
