// SPDX-License-Identifier: MIT
// The map grammar's rule actions: they join the pieces of continued names and hand each entry's
// symbol to a sink: the record list takes the address symbols (RecordSink), a symbol table
// every symbol (SymbolSink). The grammar's own state (CollectedName, HeadValue and the head
// line's other fields) lives in one GrammarState; the library keeps one module-wide instance.
#pragma once

#include <cstdint>

#include "grammar/engine.h"
#include "records/record_list.h"
#include "records/symbol_store.h"
#include "scanner/line_readers.h"

namespace k8map {

struct GrammarState {
  char collected_name[kTokenValueSize] = {};  // at most 255 characters; longer names are cut
  int collected_length = 0;
  std::uint32_t head_value = 0;
  bool head_converted = false;  // whether the head line's value converted
  std::uint8_t head_kind = 0;   // the head line's kind, scope letter, bit and line
  char head_scope = 0;
  std::int8_t head_bit = -1;
  LineNumber head_line = 0;
};

// What a parse needs to report beyond its result: symbols lost for want of memory.
struct ParseReport {
  bool records_lost = false;
  LineNumber first_lost_line = 0;
};

// The record list: address symbols only, as name and value.
struct RecordSink {
  static constexpr bool kAllKinds = false;
  RecordList& records;

  RecordSink(RecordList& list) : records(list) {}  // NOLINT: MapActions{state, list, ...}
  // The entry's symbol; its name is followed by kNamePadding readable bytes. 0 or -1.
  int Append(const TakenSymbol& entry, LineNumber) {
    return AppendPadded(records, entry.name, static_cast<std::size_t>(entry.name_length),
                        entry.number);
  }
  template <class Entry>
  int AppendRun(const Entry* entries, int from, int to, LineNumber) {
    return AppendPaddedRun(records, entries, from, to);
  }
};

// A symbol table: every symbol with its kind, scope, bit and first line.
struct SymbolSink {
  static constexpr bool kAllKinds = true;
  SymbolStore& store;

  SymbolSink(SymbolStore& s) : store(s) {}  // NOLINT: as RecordSink
  int Append(const TakenSymbol& entry, LineNumber first_line) {
    SymbolFields fields{entry.name,   static_cast<std::size_t>(entry.name_length),
                        entry.number, static_cast<std::uint32_t>(first_line),
                        entry.kind,   entry.scope,
                        entry.bit};
    return AppendSymbol(store, fields, true);
  }
  template <class Entry>
  int AppendRun(const Entry* entries, int from, int to, LineNumber first_line) {
    return AppendSymbolRun(store, entries, from, to, first_line);
  }
};

template <class Sink>
struct BasicMapActions {
  GrammarState& grammar;
  Sink sink;
  ParseReport& report;
  const LineNumber* line_counter;  // the scanner's, for the entries' lines (may be null)

  void Reduce(int rule, SemanticValue* rhs);

  // The symbols of many single-line entries at once; an entry's line is counted from
  // first_line.
  template <class Entry>
  void RecordEntries(const Entry* entries, int count, LineNumber first_line) {
    for (int i = sink.AppendRun(entries, 0, count, first_line); i < count;
         i = sink.AppendRun(entries, i + 1, count, first_line)) {
      LineNumber line = first_line + entries[i].line;
      AddSymbol(entries[i], line, line);  // converted: the run passes over the others
    }
  }
  // An entry's symbol, when its value converted, from its first line to its last (the same for
  // a single-line entry); entry.line is not read.
  void RecordEntry(const TakenSymbol& entry, LineNumber first_line, LineNumber last_line) {
    AddSymbol(entry, first_line, last_line);
  }

 private:
  // A symbol lost for want of memory is remembered with its entry's last line.
  void AddSymbol(const TakenSymbol& entry, LineNumber first_line, LineNumber last_line) {
    if (entry.converted && sink.Append(entry, first_line) != 0) NoteLostRecord(last_line);
  }
  LineNumber CurrentLine() const { return line_counter != nullptr ? *line_counter - 1 : 0; }
  void NoteLostRecord(LineNumber line);
  void AddPiece(const SemanticValue& piece);
  void StartCollection(const SemanticValue* rhs);
  void RecordCollected();
};

using MapActions = BasicMapActions<RecordSink>;
using TableActions = BasicMapActions<SymbolSink>;

extern template struct BasicMapActions<RecordSink>;
extern template struct BasicMapActions<SymbolSink>;

}  // namespace k8map
