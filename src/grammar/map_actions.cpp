// SPDX-License-Identifier: MIT
#include "grammar/map_actions.h"

#include <cstring>

#include "grammar/map_grammar.h"

namespace k8map {

template <class Sink>
void BasicMapActions<Sink>::NoteLostRecord(LineNumber line) {
  if (!report.records_lost) {
    report.records_lost = true;
    report.first_lost_line = line;
  }
}

// Adds a piece to the end of CollectedName, cutting the name at 255 characters.
template <class Sink>
void BasicMapActions<Sink>::AddPiece(const SemanticValue& piece) {
  int room = kTokenValueSize - 1 - grammar.collected_length;
  int length = piece.text_length < room ? piece.text_length : room;
  std::memcpy(grammar.collected_name + grammar.collected_length, piece.text,
              static_cast<std::size_t>(length));
  grammar.collected_length += length;
  grammar.collected_name[grammar.collected_length] = '\0';
}

// A head line: NAME_PART, kind, SCOPE, HEX_VALUE, ENTRY_LINE_END.
template <class Sink>
void BasicMapActions<Sink>::StartCollection(const SemanticValue* rhs) {
  grammar.collected_length = 0;
  AddPiece(rhs[0]);
  grammar.head_value = rhs[3].number;
  grammar.head_converted = rhs[3].converted;
  grammar.head_kind = rhs[1].kind;
  grammar.head_scope = rhs[2].scope;
  grammar.head_bit = rhs[3].bit;
  grammar.head_line = CurrentLine();
}

// The entry ended with the line end just shifted.
template <class Sink>
void BasicMapActions<Sink>::RecordCollected() {
  TakenSymbol entry{
      grammar.collected_name, grammar.collected_length, grammar.head_value, grammar.head_converted,
      grammar.head_kind,      grammar.head_scope,       grammar.head_bit,   0};
  AddSymbol(entry, grammar.head_line, CurrentLine());
}

template <class Sink>
void BasicMapActions<Sink>::Reduce(int rule, SemanticValue* rhs) {
  switch (kMapRules[rule].effect) {
    case RuleEffect::kNone:
    case RuleEffect::kTakeText:  // the result is the slot of $1, which holds its text
      return;
    case RuleEffect::kSymbolEntry:
      if (!Sink::kAllKinds) return;
      [[fallthrough]];
    case RuleEffect::kRecordEntry: {
      // A value that did not convert makes no symbol: its bytes would be meaningless.
      TakenSymbol entry{rhs[0].text, rhs[0].text_length, rhs[3].number, rhs[3].converted,
                        rhs[1].kind, rhs[2].scope,       rhs[3].bit,    0};
      return RecordEntry(entry, CurrentLine(), CurrentLine());
    }
    case RuleEffect::kSymbolCollected:
      if (!Sink::kAllKinds) return;
      [[fallthrough]];
    case RuleEffect::kRecordCollected:
      return RecordCollected();
    case RuleEffect::kStartCollection:
      return StartCollection(rhs);
    case RuleEffect::kAddFirstPiece:
      return AddPiece(rhs[0]);
    case RuleEffect::kAddSecondPiece:
      return AddPiece(rhs[1]);
  }
}

template struct BasicMapActions<RecordSink>;
template struct BasicMapActions<SymbolSink>;

}  // namespace k8map
