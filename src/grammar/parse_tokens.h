// SPDX-License-Identifier: MIT
// ParseTokens: the engine over the map grammar's tables, pulling tokens from the scanner.
#pragma once

#include "grammar/engine.h"
#include "grammar/map_actions.h"
#include "records/record_list.h"
#include "records/symbol_store.h"
#include "scanner/line_readers.h"
#include "scanner/scanner.h"

namespace k8map {

// Feeds the engine from the scanner, copying only the meaningful part of each token value.
// Between entries it takes whole common lines at once (ScanWholeLines), doing what the grammar
// does with their tokens; line_shortcut off reads every token (for comparison in tests).
struct ScannerSource {
  Scanner& scanner;
  bool line_shortcut = true;

  int Next() { return NextToken(scanner); }
  void Load(int terminal, SemanticValue& slot) const;
  template <class Actions>
  bool TakeLines(Actions& actions);
};

// Parses the scanner's current stream: 0 accepted, 1 rejected, 2 stacks exhausted. The
// scanner's fatal failures propagate as ScannerFailure. The address symbols go to records. The
// engine runs on stacks (null: stacks of its own on the heap).
int ParseTokens(Scanner& scanner, GrammarState& grammar, RecordList& records, ParseReport& report,
                EngineStats* stats = nullptr, bool line_shortcut = true,
                EngineStacks* stacks = nullptr);

// The same, with every symbol going to symbols.
int ParseTokens(Scanner& scanner, GrammarState& grammar, SymbolStore& symbols, ParseReport& report,
                EngineStats* stats = nullptr, bool line_shortcut = true,
                EngineStacks* stacks = nullptr);

}  // namespace k8map
