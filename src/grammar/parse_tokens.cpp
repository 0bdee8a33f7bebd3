// SPDX-License-Identifier: MIT
#include "grammar/parse_tokens.h"

#include <cstring>

#include "common/short_copy.h"
#include "common/x86_features.h"
#include "grammar/map_grammar.h"
#include "scanner/line_readers.h"
#include "scanner/symbol_kind.h"

namespace k8map {

void ScannerSource::Load(int terminal, SemanticValue& slot) const {
  const TokenValue& value = scanner.value;
  switch (terminal) {
    case kName:
    case kNamePart:
    case kDigitPart:
    case kWord:
      slot.text_length = value.text_length;
      ShortCopy(slot.text, value.text, static_cast<std::size_t>(value.text_length) + 1);
      return;
    case kHexValue: {
      slot.number = value.number;
      slot.converted = value.converted;
      // The token text is the value as written, with its "(d)" when it has one.
      int length = scanner.token_length;
      bool suffix = length >= 3 && scanner.token_text[length - 1] == ')';
      slot.bit = static_cast<std::int8_t>(suffix ? scanner.token_text[length - 2] - '0' : -1);
      return;
    }
    case kAddressKind:
    case kSymbolKind:
      slot.kind = KindOfField(reinterpret_cast<const unsigned char*>(scanner.token_text),
                              scanner.token_length);
      return;
    case kScope:
      slot.scope = scanner.token_text[0];
      return;
    default:  // the other tokens carry nothing that an action reads
      return;
  }
}

namespace {

// The symbols of taken lines where the wide reader runs: each name's fixed-size copy is then one
// vector load and store (in the 32-bit DLL's portable code it is eight of each).
template <class Actions>
K8MAP_AVX2_TARGET void RecordTakenWithAvx2(Actions& actions, const TakenSymbol* symbols, int count,
                                           LineNumber first_line) {
  actions.RecordEntries(symbols, count, first_line);
}

template <class Sink>
int ParseWith(Scanner& scanner, GrammarState& grammar, Sink sink, ParseReport& report,
              EngineStats* stats, bool line_shortcut, EngineStacks* stacks) {
  ScannerSource source{scanner, line_shortcut};
  BasicMapActions<Sink> actions{grammar, sink, report, &scanner.line_counter};
  const ParseTables& t = kMapTables;
  int after_entry_list = t.goto_state[entry_list - t.terminal_count];  // from state 0
  if (stacks != nullptr) return RunEngine(*stacks, t, source, actions, stats, after_entry_list);
  return RunEngine(t, source, actions, stats, after_entry_list);
}

}  // namespace

// Single-line entries and ignored lines, from the state after a complete entry_list, are
// shifted and reduced back to that state (name_text, entry, entry_list; or ignored_line, entry,
// entry_list); only the entry's reduction has an action, a symbol (for the record list, of an
// address entry only). So is a whole continued entry, whose pieces' actions only build the
// joined name that the continued_entry's reduction records.
template <class Actions>
bool ScannerSource::TakeLines(Actions& actions) {
  if (!line_shortcut) return false;
  constexpr int kBatch = 64;
  constexpr bool kAllKinds = decltype(actions.sink)::kAllKinds;
  TakenSymbol symbols[kBatch];
  TakenEntry entry;
  int count = 0;
  LineNumber first_line = scanner.line_counter;  // the taken lines count from it
  int taken = ScanWholeLines(scanner, symbols, kBatch, &count, &entry, kAllKinds);
  if (TakesRuns(scanner.line_reader)) {
    RecordTakenWithAvx2(actions, symbols, count, first_line);
  } else {
    actions.RecordEntries(symbols, count, first_line);
  }
  if (entry.lines > 0 && entry.record.name != nullptr) {  // after the lines before it
    LineNumber last = first_line + entry.record.line;
    actions.RecordEntry(entry.record, last - entry.lines + 1, last);
  }
  return taken > 0;
}

int ParseTokens(Scanner& scanner, GrammarState& grammar, RecordList& records, ParseReport& report,
                EngineStats* stats, bool line_shortcut, EngineStacks* stacks) {
  return ParseWith(scanner, grammar, RecordSink(records), report, stats, line_shortcut, stacks);
}

int ParseTokens(Scanner& scanner, GrammarState& grammar, SymbolStore& symbols, ParseReport& report,
                EngineStats* stats, bool line_shortcut, EngineStacks* stacks) {
  return ParseWith(scanner, grammar, SymbolSink(symbols), report, stats, line_shortcut, stacks);
}

}  // namespace k8map
