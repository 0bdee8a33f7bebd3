// SPDX-License-Identifier: MIT
// Derives LALR(1) parse tables from a grammar given as data: the LR(0) automaton, lookaheads
// propagated to a fixed point, then one action per (state, terminal), with every state's most
// frequent reduction as its default. Used by the table generator and by tests; the library
// itself only carries the generated tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "grammar/parse_tables.h"

namespace k8map {

struct BuilderRule {
  int lhs;
  std::vector<int> rhs;
};

struct GrammarInput {
  int terminal_count;  // terminal 0 is the end of input
  int symbol_count;
  int start_symbol;
  std::vector<BuilderRule> rules;  // rule 0 is replaced by: start_symbol, end of input
  std::vector<std::string> names;  // one per symbol
};

struct LalrItem {
  int rule;
  int dot;
  bool operator==(const LalrItem&) const = default;
  auto operator<=>(const LalrItem&) const = default;
};

struct BuiltTables {
  int state_count = 0;
  int terminal_count = 0;
  int nonterminal_count = 0;
  int rule_count = 0;
  std::vector<std::uint8_t> action, default_action, reads_lookahead, goto_state;
  std::vector<std::uint8_t> rule_lhs, rule_length;
  std::vector<std::string> conflicts;  // empty for a conflict-free grammar
  // For the listing: each state's items with their lookahead sets, and its explicit actions.
  std::vector<std::vector<LalrItem>> items;
  std::vector<std::vector<std::uint64_t>> lookaheads;
  std::vector<std::vector<int>> explicit_action;  // -1 where the default applies

  ParseTables View() const;
};

BuiltTables BuildLalrTables(const GrammarInput& grammar);

// The map grammar of map_grammar.h in builder form.
GrammarInput MapGrammarInput();

// A readable listing of the states: items, lookaheads, actions, default, gotos.
std::string FormatListing(const GrammarInput& grammar, const BuiltTables& tables);

// The C++ source of the generated tables file.
std::string FormatTablesSource(const BuiltTables& tables);

}  // namespace k8map
