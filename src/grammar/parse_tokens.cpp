#include "grammar/parse_tokens.h"

#include <cstring>

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
      std::memcpy(slot.text, value.text, static_cast<std::size_t>(value.text_length) + 1);
      return;
    case kHexValue:
      slot.number = value.number;
      slot.converted = value.converted;
      return;
    default:  // the other tokens carry nothing that an action reads
      return;
  }
}

int ParseTokens(Scanner& scanner, GrammarState& grammar, RecordList& records, ParseReport& report,
                EngineStats* stats) {
  ScannerSource source{scanner};
  MapActions actions{grammar, records, report, &scanner.line_counter};
  return RunEngine(kMapTables, source, actions, stats);
}

}  // namespace k8map
