// SPDX-License-Identifier: MIT
#include "lalr_builder.h"

#include <algorithm>
#include <map>
#include <sstream>

#include "grammar/map_grammar.h"

namespace k8map {
namespace {

using ItemSet = std::vector<LalrItem>;

struct Automaton {
  const GrammarInput& grammar;
  std::vector<BuilderRule> rules;    // rule 0 augmented
  std::vector<std::uint64_t> first;  // per symbol: terminal bit set
  std::vector<bool> nullable;
  std::vector<ItemSet> items;                // per state: kernel first, then closure
  std::vector<std::vector<int>> transition;  // per state, per symbol: target or -1
  std::vector<std::vector<std::uint64_t>> lookahead;

  bool IsTerminal(int symbol) const { return symbol < grammar.terminal_count; }

  int NextSymbol(const LalrItem& item) const {
    const auto& rhs = rules[item.rule].rhs;
    return item.dot < static_cast<int>(rhs.size()) ? rhs[item.dot] : -1;
  }
};

void ComputeFirstSets(Automaton& a) {
  int symbols = a.grammar.symbol_count + 1;  // and the start rule's own left side
  a.first.assign(symbols, 0);
  a.nullable.assign(symbols, false);
  for (int t = 0; t < a.grammar.terminal_count; ++t) a.first[t] = std::uint64_t{1} << t;
  for (bool changed = true; changed;) {
    changed = false;
    for (const BuilderRule& rule : a.rules) {
      std::uint64_t before = a.first[rule.lhs];
      bool all_nullable = true;
      for (int symbol : rule.rhs) {
        a.first[rule.lhs] |= a.first[symbol];
        if (!a.nullable[symbol]) {
          all_nullable = false;
          break;
        }
      }
      if (all_nullable && !a.nullable[rule.lhs]) {
        a.nullable[rule.lhs] = true;
        changed = true;
      }
      changed |= before != a.first[rule.lhs];
    }
  }
}

// FIRST of rhs[from..] and whether that whole tail is nullable.
std::uint64_t FirstOfTail(const Automaton& a, const std::vector<int>& rhs, std::size_t from,
                          bool* nullable) {
  std::uint64_t set = 0;
  for (std::size_t i = from; i < rhs.size(); ++i) {
    set |= a.first[rhs[i]];
    if (!a.nullable[rhs[i]]) {
      *nullable = false;
      return set;
    }
  }
  *nullable = true;
  return set;
}

ItemSet Closure(const Automaton& a, ItemSet items) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    int symbol = a.NextSymbol(items[i]);
    if (symbol < 0 || a.IsTerminal(symbol)) continue;
    for (int r = 1; r < static_cast<int>(a.rules.size()); ++r) {
      LalrItem item{r, 0};
      if (a.rules[r].lhs == symbol && std::find(items.begin(), items.end(), item) == items.end()) {
        items.push_back(item);
      }
    }
  }
  return items;
}

// The LR(0) automaton, states numbered in breadth-first order of discovery.
void BuildStates(Automaton& a) {
  std::map<ItemSet, int> known;
  std::vector<ItemSet> kernels{{LalrItem{0, 0}}};
  known[kernels[0]] = 0;
  for (std::size_t s = 0; s < kernels.size(); ++s) {
    a.items.push_back(Closure(a, kernels[s]));
    a.transition.emplace_back(a.grammar.symbol_count, -1);
    for (int symbol = 1; symbol < a.grammar.symbol_count; ++symbol) {
      ItemSet kernel;
      for (const LalrItem& item : a.items[s]) {
        if (a.NextSymbol(item) == symbol) kernel.push_back({item.rule, item.dot + 1});
      }
      if (kernel.empty()) continue;
      auto [it, added] = known.emplace(kernel, static_cast<int>(kernels.size()));
      if (added) kernels.push_back(kernel);
      a.transition[s][symbol] = it->second;
    }
  }
}

int IndexOf(const ItemSet& items, LalrItem item) {
  return static_cast<int>(std::find(items.begin(), items.end(), item) - items.begin());
}

// Spreads lookaheads inside each state (closure) and along transitions until nothing changes.
void PropagateLookaheads(Automaton& a) {
  a.lookahead.resize(a.items.size());
  for (std::size_t s = 0; s < a.items.size(); ++s) a.lookahead[s].assign(a.items[s].size(), 0);
  for (bool changed = true; changed;) {
    changed = false;
    for (std::size_t s = 0; s < a.items.size(); ++s) {
      const ItemSet& items = a.items[s];
      std::vector<std::uint64_t>& la = a.lookahead[s];
      for (bool inner = true; inner;) {
        inner = false;
        for (std::size_t i = 0; i < items.size(); ++i) {
          int symbol = a.NextSymbol(items[i]);
          if (symbol < 0 || a.IsTerminal(symbol)) continue;
          bool tail_nullable = false;
          std::uint64_t follow =
              FirstOfTail(a, a.rules[items[i].rule].rhs, items[i].dot + 1, &tail_nullable);
          if (tail_nullable) follow |= la[i];
          for (std::size_t j = 0; j < items.size(); ++j) {
            if (items[j].dot != 0 || a.rules[items[j].rule].lhs != symbol) continue;
            if ((la[j] | follow) != la[j]) {
              la[j] |= follow;
              inner = changed = true;
            }
          }
        }
      }
      for (std::size_t i = 0; i < items.size(); ++i) {
        int symbol = a.NextSymbol(items[i]);
        if (symbol <= 0) continue;
        int target = a.transition[s][symbol];
        int j = IndexOf(a.items[target], {items[i].rule, items[i].dot + 1});
        std::uint64_t& dest = a.lookahead[target][j];
        if ((dest | la[i]) != dest) {
          dest |= la[i];
          changed = true;
        }
      }
    }
  }
}

// Explicit actions of one state, with conflicts noted.
std::vector<int> StateActions(const Automaton& a, int s, int state_count,
                              std::vector<std::string>& conflicts) {
  int terminals = a.grammar.terminal_count;
  std::vector<int> act(terminals, -1);
  auto place = [&](int terminal, int action) {
    if (act[terminal] >= 0 && act[terminal] != action) {
      conflicts.push_back("state " + std::to_string(s) + " on " + a.grammar.names[terminal]);
    }
    act[terminal] = action;
  };
  for (std::size_t i = 0; i < a.items[s].size(); ++i) {
    const LalrItem& item = a.items[s][i];
    int symbol = a.NextSymbol(item);
    if (symbol == 0) {
      place(0, kActionAccept);
    } else if (symbol > 0 && a.IsTerminal(symbol)) {
      place(symbol, a.transition[s][symbol]);
    } else if (symbol < 0) {
      for (int t = 0; t < terminals; ++t) {
        if (a.lookahead[s][i] >> t & 1) place(t, state_count + item.rule);
      }
    }
  }
  return act;
}

// The reduction with the most lookaheads (the lowest rule number on a tie) becomes the
// state's default and loses its explicit entries.
int ChooseDefault(std::vector<int>& act, int state_count) {
  std::map<int, int> uses;
  for (int action : act) {
    if (action >= state_count && action != kActionAccept) ++uses[action];
  }
  int best = kActionError, best_uses = 0;
  for (auto [action, count] : uses) {
    if (count > best_uses) best = action, best_uses = count;
  }
  for (int& action : act) {
    if (action == best) action = -1;
  }
  return best;
}

}  // namespace

BuiltTables BuildLalrTables(const GrammarInput& grammar) {
  Automaton a{grammar, grammar.rules, {}, {}, {}, {}, {}};
  // The start rule: the start symbol and the end of input, under a left side of its own.
  a.rules[0] = BuilderRule{grammar.symbol_count, {grammar.start_symbol, 0}};
  ComputeFirstSets(a);
  BuildStates(a);
  PropagateLookaheads(a);

  BuiltTables t;
  t.state_count = static_cast<int>(a.items.size());
  t.terminal_count = grammar.terminal_count;
  t.nonterminal_count = grammar.symbol_count - grammar.terminal_count;
  t.rule_count = static_cast<int>(a.rules.size());
  if (t.state_count + t.rule_count >= kActionAccept) t.conflicts.push_back("too many states");
  for (int s = 0; s < t.state_count; ++s) {
    std::vector<int> act = StateActions(a, s, t.state_count, t.conflicts);
    int fallback = ChooseDefault(act, t.state_count);
    bool reads = std::any_of(act.begin(), act.end(), [](int x) { return x >= 0; });
    for (int action : act)
      t.action.push_back(static_cast<std::uint8_t>(action >= 0 ? action : fallback));
    t.default_action.push_back(static_cast<std::uint8_t>(fallback));
    t.reads_lookahead.push_back(reads ? 1 : 0);
    for (int n = 0; n < t.nonterminal_count; ++n) {
      int target = a.transition[s][grammar.terminal_count + n];
      t.goto_state.push_back(static_cast<std::uint8_t>(target < 0 ? 0 : target));
    }
    t.explicit_action.push_back(act);
  }
  for (const BuilderRule& rule : a.rules) {
    t.rule_lhs.push_back(static_cast<std::uint8_t>(
        rule.lhs >= grammar.symbol_count ? 0 : rule.lhs - grammar.terminal_count));
    t.rule_length.push_back(static_cast<std::uint8_t>(rule.rhs.size()));
  }
  t.items = a.items;
  t.lookaheads = a.lookahead;
  return t;
}

ParseTables BuiltTables::View() const {
  return ParseTables{
      state_count,     terminal_count,        nonterminal_count,      rule_count,
      action.data(),   default_action.data(), reads_lookahead.data(), goto_state.data(),
      rule_lhs.data(), rule_length.data()};
}

GrammarInput MapGrammarInput() {
  GrammarInput g{kMapTerminalCount, kMapSymbolCount, map_file, {}, {}};
  for (const GrammarRule& rule : kMapRules) {
    g.rules.push_back(
        {rule.lhs, std::vector<int>(rule.rhs.begin(), rule.rhs.begin() + rule.length)});
  }
  g.names.assign(std::begin(kMapSymbolNames), std::end(kMapSymbolNames));
  return g;
}

}  // namespace k8map
