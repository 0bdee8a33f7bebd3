// SPDX-License-Identifier: MIT
// Whole lines at once: the common line shapes read straight through with the rules' own
// decisions, so that the parser can take them without a token at a time. The pieces shared by
// the line readers; each reader has its own file, and whole_lines.cpp chooses among them.
#pragma once

#include "common/x86_features.h"
#include "scanner/line_readers.h"
#include "scanner/rule_matchers.h"
#include "scanner/symbol_kind.h"

namespace k8map::lines {

using namespace rules;

// The symbol line of the common shape, read straight through: leading spaces (kRuleIndent),
// blanks (kRuleBlank), a NAME (kRuleName), blanks, a kind keyword (a keyword rule), blanks, a
// scope letter (kRuleScope), blanks, a value (kRuleHex or kRuleHexBit), blanks and trailing words
// (kRuleBlank and kRuleTrailWord) up to the line feed (kRuleEntryEnd). Each step is the decision
// the rules make at that byte; at the first byte where they would do anything else the line is left
// to the general scan. No step reads past an end mark, and a line that reaches its line feed lies
// complete in the buffer.
struct SymbolLine {
  const Byte* name;
  int name_length;
  const Byte* value;
  int value_length;  // "0x" and the digits, without a "(d)"
  bool address;
  std::uint8_t kind;  // a SymbolKind
  char scope;
  const Byte* line_feed;  // null when the line is not of this shape
};

// The rest of a symbol line from the end of its value's digits: an optional "(d)"
// (kRuleHexBit), then blanks (kRuleBlank) and trailing words (kRuleTrailWord) up to the line
// feed (kRuleEntryEnd). Returns
// the line feed, or null where the rules would do anything else.
inline const Byte* ValueSuffixAndTail(const Byte* q, SearchWidth width) {
  if (q[0] == '(' && q[1] >= '0' && q[1] <= '9' && q[2] == ')') q += 3;
  while (*q != '\n') {
    if (IsClass(*q, kBlank)) {
      q += RunLength<RunClass::kBlank>(q, width);
    } else if (IsClass(*q, kTrailWordChar)) {
      q += RunLength<RunClass::kTrailWordChar>(q, width);
    } else {
      return nullptr;
    }
  }
  return q;
}

// The readers. Each reads the same lines the same way; they differ in how many bytes a step
// looks at.

// Run by run, each as wide as the search (line_reader_serial.cpp): a byte at a time for the
// serial reader, sixteen bytes for the window reader's long lines.
SymbolLine ReadSymbolLineSerially(const Byte* p, SearchWidth width);

// From bit masks over the line's first 64 bytes, with SSE2 (line_reader_window.cpp); a line
// whose line feed lies further is read serially. Only where the processor has SSE2.
K8MAP_SSE2_TARGET SymbolLine ReadSymbolLineInWindow(const Byte* p, const Byte* end);

// With AVX2 and BMI (line_reader_wide.cpp), only where the processor has them: plain symbol
// lines and lines that do not begin with a space, taken one after another from p while each
// lies complete before end, the address symbols (with kAllKinds every symbol, with its kind,
// scope and bit) stored from symbols[*count] on until capacity; returns the first line not
// taken. kNarrow: with two 32-bit windows, as on 32-bit processors (where they are always used).
template <bool kAllKinds, bool kNarrow>
K8MAP_AVX2_TARGET const Byte* TakePlainLines(const Byte* p, const Byte* end, TakenSymbol* symbols,
                                             int capacity, int* count, int* line_number,
                                             int* taken);

// With AVX2 and BMI: a whole continued entry from p: its head line, middle pieces and last
// piece, every line plain and complete before end. Returns the number of lines; 0 when the line
// at p is not such a head line, -1 when it is but the rest of the entry is not all plain (the
// head's first token is a NAME_PART: no whole-line reader takes that line). For an address
// head (for any head with all_kinds) the symbol (joined name, value, the head's kind, scope and
// bit, the last line's number) is put in entry; otherwise entry->name is null.
K8MAP_AVX2_TARGET int ReadContinuedEntry(const Byte* p, const Byte* end, int line_number,
                                         char* joined, TakenSymbol* entry, const Byte** after,
                                         bool all_kinds);

}  // namespace k8map::lines
