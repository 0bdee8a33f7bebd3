// SPDX-License-Identifier: MIT
// The committed tables are exactly what the generator derives from the grammar rules.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "grammar/map_grammar.h"
#include "lalr_builder.h"
#include "test_files.h"

namespace k8map {
namespace {

TEST(Tables, CommittedFileMatchesAFreshRegeneration) {
  std::ifstream in(
      test::ProjectFolder("K8MAP_SOURCE_DIR", K8MAP_SOURCE_DIR) + "/src/grammar/parse_tables.inc",
      std::ios::binary);
  ASSERT_TRUE(in) << "cannot read the committed tables";
  std::stringstream committed;
  committed << in.rdbuf();
  BuiltTables tables = BuildLalrTables(MapGrammarInput());
  EXPECT_EQ(committed.str(), FormatTablesSource(tables))
      << "regenerate with: cmake --build <build dir> --target regenerate-tables";
}

TEST(Tables, GrammarHasNoConflicts) {
  EXPECT_TRUE(BuildLalrTables(MapGrammarInput()).conflicts.empty());
}

TEST(Tables, OnlyTwoReducingStatesReadALookahead) {
  BuiltTables t = BuildLalrTables(MapGrammarInput());
  std::vector<int> reading_reductions;
  for (int s = 0; s < t.state_count; ++s) {
    if (t.reads_lookahead[s] && t.default_action[s] != kActionError) {
      reading_reductions.push_back(t.default_action[s] - t.state_count);
    }
  }
  EXPECT_EQ(reading_reductions, (std::vector<int>{1, 22}));
}

TEST(Tables, ListingNamesEveryState) {
  GrammarInput g = MapGrammarInput();
  BuiltTables t = BuildLalrTables(g);
  std::string listing = FormatListing(g, t);
  EXPECT_NE(listing.find("state " + std::to_string(t.state_count - 1) + "\n"), std::string::npos);
  EXPECT_NE(listing.find("23: ignored_line -> name_text ADDRESS_KIND LINE_END SCOPE LINE_END"),
            std::string::npos);
}

// Small grammars for what the map grammar lacks: an empty rule, and an ambiguity.
// Terminals: 0 end, 1 '+', 2 'n'; nonterminals: 3 S, 4 E, 5 Opt.
GrammarInput SmallGrammar(std::vector<BuilderRule> rules) {
  rules.insert(rules.begin(), BuilderRule{});  // replaced by the start rule
  return GrammarInput{3, 6, 3, rules, {"end", "'+'", "'n'", "S", "E", "Opt"}};
}

TEST(Tables, EmptyRuleReducesBeforeWhatFollowsIt) {
  // S -> Opt E; E -> 'n'; Opt -> (empty) | '+'
  BuiltTables t = BuildLalrTables(SmallGrammar({{3, {5, 4}}, {4, {2}}, {5, {}}, {5, {1}}}));
  EXPECT_TRUE(t.conflicts.empty());
  int action = t.explicit_action[0][2] >= 0 ? t.explicit_action[0][2] : t.default_action[0];
  EXPECT_EQ(action, t.state_count + 3) << "on 'n' the start state reduces Opt -> (empty)";
}

TEST(Tables, AmbiguityIsListedAsConflict) {
  // S -> E; E -> E '+' E | 'n'
  GrammarInput g = SmallGrammar({{3, {4}}, {4, {4, 1, 4}}, {4, {2}}});
  BuiltTables t = BuildLalrTables(g);
  ASSERT_EQ(t.conflicts.size(), 1u);
  EXPECT_NE(t.conflicts[0].find(" on '+'"), std::string::npos) << t.conflicts[0];
  EXPECT_NE(FormatListing(g, t).find("\nConflicts\n  " + t.conflicts[0] + "\n"), std::string::npos);
}

}  // namespace
}  // namespace k8map
