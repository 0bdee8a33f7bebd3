// The map grammar's rule actions: they join the pieces of continued names and append one
// record per address entry. The grammar's own state (CollectedName, HeadValue) lives in one
// GrammarState; the library keeps one module-wide instance.
#pragma once

#include <cstdint>

#include "grammar/engine.h"
#include "records/record_list.h"

namespace k8map {

struct GrammarState {
  char collected_name[kTokenValueSize] = {};  // at most 255 characters; longer names are cut
  int collected_length = 0;
  std::uint32_t head_value = 0;
  bool head_converted = false;  // whether the head line's value converted
};

// What a parse needs to report beyond its result: records lost for want of memory.
struct ParseReport {
  bool records_lost = false;
  int first_lost_line = 0;
};

struct MapActions {
  GrammarState& grammar;
  RecordList& records;
  ParseReport& report;
  const int* line_counter;  // the scanner's, for the line of a lost record (may be null)

  void Reduce(int rule, SemanticValue* rhs);

  // The action of a single-line address entry: a record of its name and value, when the value
  // converted.
  void RecordEntry(const char* name, int length, std::uint32_t value, bool converted) {
    if (converted) AddRecord(name, length, value, line_counter != nullptr ? *line_counter - 1 : 0);
  }
  // The same for an entry on a given line.
  void RecordEntry(const char* name, int length, std::uint32_t value, bool converted, int line) {
    if (converted) AddRecord(name, length, value, line);
  }
  // The same for many entries at once (name, name_length, number, converted and line each).
  template <class Entry>
  void RecordEntries(const Entry* entries, int count) {
    for (int i = AppendPaddedRun(records, entries, 0, count); i < count;
         i = AppendPaddedRun(records, entries, i + 1, count)) {
      const Entry& e = entries[i];  // converted: the run passes over the others
      if (AppendPadded(records, e.name, static_cast<std::size_t>(e.name_length), e.number) != 0) {
        NoteLostRecord(e.line);
      }
    }
  }

 private:
  // Every name here lies in the scanner's buffer or a 256-byte text, so a block can be read.
  void AddRecord(const char* name, int length, std::uint32_t value, int line) {
    if (AppendPadded(records, name, static_cast<std::size_t>(length), value) != 0) {
      NoteLostRecord(line);
    }
  }
  void NoteLostRecord(int line);
  void AddPiece(const SemanticValue& piece);
};

}  // namespace k8map
