// SPDX-License-Identifier: MIT
// The table-driven LALR(1) engine: shift, reduce with default reductions, accept, and no error
// recovery. It runs over any token source and any set of rule actions, so the map grammar can
// be tested from token sequences and the stack limits from a test grammar.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "grammar/map_grammar.h"
#include "grammar/parse_tables.h"
#include "scanner/scanner.h"

namespace k8map {

inline constexpr int kInitialStackDepth = 200;
inline constexpr int kMaxStackDepth = 10000;

inline constexpr int kParseAccepted = 0;
inline constexpr int kParseRejected = 1;
inline constexpr int kParseStackExhausted = 2;

inline constexpr const char* kParseErrorMessage = "parse error";
inline constexpr const char* kStackOverflowMessage = "parser stack overflow";

// The value a grammar symbol carries on the value stack: the meaningful part of the token
// value it was shifted with (a name text, a converted number and its bit, a kind, a scope
// letter), or its rule's result.
struct SemanticValue {
  std::uint32_t number;
  bool converted;
  std::uint8_t kind;  // a kind keyword's SymbolKind
  char scope;         // a SCOPE's letter
  std::int8_t bit;    // a HEX_VALUE's "(d)" digit, or -1
  int text_length;
  char text[kTokenValueSize];
};

// Observations of one run, for tests.
struct EngineStats {
  int max_depth = 0;      // most entries on the stacks at once, the start state included
  int capacity = 0;       // stack capacity when the run ended
  int error_reports = 0;  // calls of ReportParseError
  const char* last_report = nullptr;
};

// The error hook: takes a message, discards it and returns 1.
inline int ReportParseError(const char* message, EngineStats* stats) {
  if (stats != nullptr) {
    ++stats->error_reports;
    stats->last_report = message;
  }
  return 1;
}

// The state and value stacks of a run: the first kInitialStackDepth entries are storage of
// their own, larger stacks come from the heap and go at the end of the run. They are the
// parse's, not its caller's stack frame's (some 54 KB: a host thread's stack may be small).
class EngineStacks {
 public:
  std::uint16_t* states = local_states_;
  SemanticValue* values = local_values_;
  int capacity = kInitialStackDepth;

  // Back to the storage of their own, the heap's given back.
  void Reset() {
    states = local_states_;
    values = local_values_;
    capacity = kInitialStackDepth;
    heap_states_.reset();
    heap_values_.reset();
  }

  // Doubles the capacity (at most kMaxStackDepth) keeping depth entries; false when it cannot.
  bool Grow(int depth) {
    if (capacity >= kMaxStackDepth) return false;
    int larger = capacity * 2 > kMaxStackDepth ? kMaxStackDepth : capacity * 2;
    std::unique_ptr<std::uint16_t[]> s(new (std::nothrow) std::uint16_t[larger]);
    std::unique_ptr<SemanticValue[]> v(new (std::nothrow) SemanticValue[larger]);
    if (!s || !v) return false;
    std::memcpy(s.get(), states, sizeof(std::uint16_t) * depth);
    std::memcpy(v.get(), values, sizeof(SemanticValue) * depth);
    heap_states_ = std::move(s);
    heap_values_ = std::move(v);
    states = heap_states_.get();
    values = heap_values_.get();
    capacity = larger;
    return true;
  }

 private:
  std::uint16_t local_states_[kInitialStackDepth];
  SemanticValue local_values_[kInitialStackDepth];
  std::unique_ptr<std::uint16_t[]> heap_states_;
  std::unique_ptr<SemanticValue[]> heap_values_;
};

// Runs the tables over source until acceptance (0), the first syntax error (1) or exhausted
// stacks (2). Source: int Next() gives a token code; void Load(int terminal, SemanticValue&)
// copies the current token's meaningful value. Actions: void Reduce(int rule, SemanticValue*
// rhs) runs rule's action with rhs[0] as $1; rhs[0] is also the result, which starts as $1.
//
// In shortcut_state with no lookahead held, a source that offers TakeLines(actions) may take
// whole input lines at once: it must then have done exactly what their tokens would have done
// from that state, which leads back to that state.
template <typename Source, typename Actions>
int RunEngine(EngineStacks& stacks, const ParseTables& t, Source& source, Actions& actions,
              EngineStats* stats = nullptr, int shortcut_state = -1) {
  stacks.Reset();
  struct GiveBack {  // whatever the end of the run
    EngineStacks& stacks;
    ~GiveBack() { stacks.Reset(); }
  } give_back{stacks};
  int top = 0;  // index of the top entry
  stacks.states[0] = 0;
  int lookahead = -1;  // terminal, or -1 when none is held
  int max_depth = 1;
  auto finish = [&](int result) {
    if (stats != nullptr) {
      stats->max_depth = max_depth;
      stats->capacity = stacks.capacity;
    }
    return result;
  };
  // Pushes a state; the value slot is filled by the caller. Returns false when exhausted.
  auto push = [&](int state) {
    stacks.states[++top] = static_cast<std::uint16_t>(state);
    if (top + 1 > max_depth) max_depth = top + 1;
    if (top + 1 < stacks.capacity) return true;
    if (stacks.Grow(top + 1)) return true;
    ReportParseError(kStackOverflowMessage, stats);
    return false;
  };

  for (;;) {
    int state = stacks.states[top];
    int action;
    if (!t.reads_lookahead[state]) {
      action = t.default_action[state];
    } else {
      if constexpr (requires { source.TakeLines(actions); }) {
        if (lookahead < 0 && state == shortcut_state && source.TakeLines(actions)) continue;
      }
      if (lookahead < 0) lookahead = TerminalOf(source.Next());
      action = t.action[state * t.terminal_count + lookahead];
    }

    if (action < t.state_count) {  // shift
      if (!push(action)) return finish(kParseStackExhausted);
      source.Load(lookahead, stacks.values[top]);
      if (lookahead != 0) lookahead = -1;
    } else if (action < t.state_count + t.rule_count) {  // reduce
      int rule = action - t.state_count;
      int length = t.rule_length[rule];
      SemanticValue* rhs = &stacks.values[top - length + 1];
      actions.Reduce(rule, rhs);
      top -= length;
      int target = t.goto_state[stacks.states[top] * t.nonterminal_count + t.rule_lhs[rule]];
      if (!push(target)) return finish(kParseStackExhausted);
      // The result value is already in place: it is the slot of $1.
    } else if (action == kActionAccept) {
      return finish(kParseAccepted);
    } else {
      ReportParseError(kParseErrorMessage, stats);
      return finish(kParseRejected);
    }
  }
}

// The same on stacks of the run's own on the heap (tests and benchmarks).
template <typename Source, typename Actions>
int RunEngine(const ParseTables& t, Source& source, Actions& actions, EngineStats* stats = nullptr,
              int shortcut_state = -1) {
  auto stacks = std::make_unique<EngineStacks>();
  return RunEngine(*stacks, t, source, actions, stats, shortcut_state);
}

}  // namespace k8map
