// SPDX-License-Identifier: MIT
// The map grammar's tables, as generated into parse_tables.inc.
#include "grammar/map_grammar.h"
#include "grammar/parse_tables.h"
#include "grammar/parse_tables.inc"

namespace k8map {

static_assert(generated::kTerminalCount == kMapTerminalCount);
static_assert(generated::kRuleCount == kMapRuleCount);

const ParseTables kMapTables{
    generated::kStateCount,     generated::kTerminalCount, generated::kNonterminalCount,
    generated::kRuleCount,      generated::kAction,        generated::kDefaultAction,
    generated::kReadsLookahead, generated::kGoto,          generated::kRuleLhs,
    generated::kRuleLength,
};

}  // namespace k8map
