#include "grammar/parse_tokens.h"

#include <cstring>

#include "common/short_copy.h"
#include "common/x86_features.h"
#include "grammar/map_grammar.h"

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
    case kHexValue:
      slot.number = value.number;
      slot.converted = value.converted;
      return;
    default:  // the other tokens carry nothing that an action reads
      return;
  }
}

namespace {

// The records of taken lines where the wide reader runs: each name's fixed-size copy is then one
// vector load and store (in the 32-bit DLL's portable code it is eight of each).
K8MAP_AVX2_TARGET void RecordTakenWithAvx2(MapActions& actions, const TakenSymbol* symbols,
                                           int count) {
  actions.RecordEntries(symbols, count);
}

}  // namespace

// Single-line entries and ignored lines, from the state after a complete entry_list, are
// shifted and reduced back to that state (rules 25, 5 or 6, 3; or 20, 4, 3); only rule 5 has an
// action, a record for an address entry. So is a whole continued entry, whose pieces' actions
// only build the joined name that rule 8 or 9 records for an address head.
bool ScannerSource::TakeLines(MapActions& actions) {
  if (!line_shortcut) return false;
  constexpr int kBatch = 64;
  TakenSymbol symbols[kBatch];
  TakenEntry entry;
  int count = 0;
  int taken = ScanWholeLines(scanner, symbols, kBatch, &count, &entry);
  if (scanner.line_reader == LineReader::kWide) {
    RecordTakenWithAvx2(actions, symbols, count);
  } else {
    actions.RecordEntries(symbols, count);
  }
  if (entry.lines > 0 && entry.record.name != nullptr) {  // after the lines before it
    const TakenSymbol& r = entry.record;
    actions.RecordEntry(r.name, r.name_length, r.number, r.converted, r.line);
  }
  return taken > 0;
}

int ParseTokens(Scanner& scanner, GrammarState& grammar, RecordList& records, ParseReport& report,
                EngineStats* stats, bool line_shortcut) {
  ScannerSource source{scanner, line_shortcut};
  MapActions actions{grammar, records, report, &scanner.line_counter};
  const ParseTables& t = kMapTables;
  int after_entry_list = t.goto_state[entry_list - t.terminal_count];  // from state 0
  return RunEngine(t, source, actions, stats, after_entry_list);
}

}  // namespace k8map
