#include "grammar/map_actions.h"

#include <cstring>

#include "grammar/map_grammar.h"

namespace k8map {

// A record lost for want of memory is remembered with its entry's last line.
void MapActions::NoteLostRecord(int line) {
  if (!report.records_lost) {
    report.records_lost = true;
    report.first_lost_line = line;
  }
}

// Adds a piece to the end of CollectedName, cutting the name at 255 characters.
void MapActions::AddPiece(const SemanticValue& piece) {
  int room = kTokenValueSize - 1 - grammar.collected_length;
  int length = piece.text_length < room ? piece.text_length : room;
  std::memcpy(grammar.collected_name + grammar.collected_length, piece.text,
              static_cast<std::size_t>(length));
  grammar.collected_length += length;
  grammar.collected_name[grammar.collected_length] = '\0';
}

void MapActions::Reduce(int rule, SemanticValue* rhs) {
  switch (kMapRules[rule].effect) {
    case RuleEffect::kNone:
    case RuleEffect::kTakeText:  // the result is the slot of $1, which holds its text
      return;
    case RuleEffect::kRecordEntry:
      // A value that did not convert makes no record: its bytes would be meaningless.
      return RecordEntry(rhs[0].text, rhs[0].text_length, rhs[3].number, rhs[3].converted);
    case RuleEffect::kRecordCollected:
      if (grammar.head_converted) {
        // The entry ended with the line end just shifted.
        AddRecord(grammar.collected_name, grammar.collected_length, grammar.head_value,
                  line_counter != nullptr ? *line_counter - 1 : 0);
      }
      return;
    case RuleEffect::kStartCollection:
      grammar.collected_length = 0;
      AddPiece(rhs[0]);
      grammar.head_value = rhs[3].number;
      grammar.head_converted = rhs[3].converted;
      return;
    case RuleEffect::kAddFirstPiece:
      return AddPiece(rhs[0]);
    case RuleEffect::kAddSecondPiece:
      return AddPiece(rhs[1]);
  }
}

}  // namespace k8map
