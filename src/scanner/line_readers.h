// SPDX-License-Identifier: MIT
// The fast path's interface: which reader of whole lines a parse uses, chosen once for the
// processor (tests choose others), what that choice decides elsewhere, and the lines it takes
// whole. The readers themselves are whole_lines.cpp and line_reader_*.cpp.
#pragma once

#include <cstdint>

#include "scanner/byte_search.h"
#include "scanner/scanner.h"

namespace k8map {

// The readers of whole lines, from the plainest to the widest: a byte at a time; the window
// reader (bit masks of a line's first 64 bytes, SSE2); the wide reader (AVX2 and BMI, which
// also takes whole runs of plain lines and whole continued entries). All read the same lines
// the same way.
enum class LineReader : std::uint8_t { kSerial, kWindow, kWide };

// Whether this processor runs the reader.
bool LineReaderAvailable(LineReader reader);

// The widest reader this processor runs, chosen once.
LineReader BestLineReader();

// The byte search of the reader's width: the parse's one choice decides both.
constexpr SearchWidth SearchWidthOf(LineReader reader) {
  return reader == LineReader::kWide     ? SearchWidth::kAvx2
         : reader == LineReader::kWindow ? SearchWidth::kSse2
                                         : SearchWidth::kByte;
}

// Whether the reader takes whole runs of plain lines, whose symbols the parse then records
// with AVX2 too.
constexpr bool TakesRuns(LineReader reader) {
  return reader == LineReader::kWide;
}

// A symbol line taken by ScanWholeLines: the NAME's value (its first 255 bytes; in the buffer
// until the next fill) and the HEX_VALUE's, as those tokens would carry them, the line's
// number counted from the first line of the call (0), and (when every kind is taken) the kind,
// the scope letter and the value's bit number.
struct TakenSymbol {
  const char* name;
  int name_length;
  std::uint32_t number;
  bool converted;
  std::uint8_t kind;  // a SymbolKind
  char scope;
  std::int8_t bit;  // -1 without "(d)"
  int line;         // from the call's first line: a call takes less than a buffer's lines
};

// A continued entry taken whole by ScanWholeLines (its first line with a NAME_PART, middle
// pieces, last piece). For an address entry (for any entry when every kind is taken), record
// is the symbol its reduction makes: the joined name (at most 255 characters, stored in
// joined), the value, the head line's kind, scope and bit, and the last line's number (from the
// call's first line); otherwise record.name is null.
struct TakenEntry {
  char joined[kTokenValueSize + 32];
  TakenSymbol record;
  int lines = 0;  // 0 when none was taken
};

// At the start of a line, takes whole lines one after another while each lies complete in the
// buffer and its tokens are exactly LINE_END, or NAME, a kind, SCOPE, HEX_VALUE and
// ENTRY_LINE_END, up to capacity symbols, which it stores in symbols: the address symbols, or
// with all_kinds every symbol. Where they stop at
// a continued entry whose lines all lie complete in the buffer in their plainest form, it takes
// that too, into entry, and stops after it (the wide line reader does this; the others stop at
// the entry). The scanner is then exactly where the lines' tokens read through NextToken would
// leave it, but for the token value, which the parser never reads from tokens it did not
// shift. Returns the number of lines taken, the entry's included; 0 changes nothing.
int ScanWholeLines(Scanner& scanner, TakenSymbol* symbols, int capacity, int* symbol_count,
                   TakenEntry* entry, bool all_kinds = false);

}  // namespace k8map
