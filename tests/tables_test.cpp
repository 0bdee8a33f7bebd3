// SPDX-License-Identifier: MIT
// The committed tables are exactly what the generator derives from the grammar rules.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "grammar/lalr_builder.h"
#include "grammar/map_grammar.h"
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

}  // namespace
}  // namespace k8map
