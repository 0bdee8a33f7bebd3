// SPDX-License-Identifier: MIT
// The shape of LALR(1) parse tables as the engine reads them. One byte an entry: an action
// below state_count shifts to that state, from state_count on it reduces by rule
// (action - state_count), and two codes above mark acceptance and error.
#pragma once

#include <cstdint>

namespace k8map {

inline constexpr std::uint8_t kActionAccept = 254;
inline constexpr std::uint8_t kActionError = 255;

struct ParseTables {
  int state_count;
  int terminal_count;
  int nonterminal_count;                // nonterminal n is symbol terminal_count + n
  int rule_count;                       // rule 0 (the start rule) included
  const std::uint8_t* action;           // [state * terminal_count + terminal], defaults filled in
  const std::uint8_t* default_action;   // [state]: a reduction, or kActionError
  const std::uint8_t* reads_lookahead;  // [state]: 0 when the state only takes its default
  const std::uint8_t* goto_state;       // [state * nonterminal_count + nonterminal]
  const std::uint8_t* rule_lhs;         // [rule]: the left side's nonterminal index
  const std::uint8_t* rule_length;      // [rule]
};

// The tables of the map grammar.
extern const ParseTables kMapTables;

}  // namespace k8map
