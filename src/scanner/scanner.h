// SPDX-License-Identifier: MIT
// The map-file scanner: its input buffer, token text, line counter and start conditions, and
// NextToken, which cuts the map text into tokens. All state lives in one Scanner; the library
// keeps one module-wide instance and tests make their own.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/map_vocabulary.h"
#include "scanner/text_stream.h"
#include "scanner/token_codes.h"

namespace k8map {

inline constexpr int kBufferCapacity = 16384;
inline constexpr int kReadLimit = 8192;
inline constexpr int kTokenTextSize = kTokenLimit;  // at most 8191 bytes of text and a terminator
inline constexpr int kTokenValueSize = kLongestName + 1;
inline constexpr int kStorageSlack = 80;

// A line number: wide enough for any file a system holds (a 32-bit count ends at 2^31 lines).
using LineNumber = std::int64_t;

enum BufferStatus : int { BUFFER_NEW = 0, BUFFER_NORMAL = 1, BUFFER_END_PENDING = 2 };
enum FillOutcome : int { FILL_CONTINUE = 0, FILL_END_OF_INPUT = 1, FILL_LAST_MATCH = 2 };

enum StartCondition : int {
  LINE_START,
  NAME_FIELD,
  KIND_FIELD,
  SCOPE_FIELD,
  VALUE_FIELD,
  AFTER_VALUE,
  SKIP_LINE,
};

// What stops the scanner: a token longer than its text holds, or input that cannot be read.
enum class ScannerFault : std::uint8_t { kTokenTooLarge, kInputFailed };

// The failure's message, as the parse reports it after "NAME:LINE: ".
constexpr const char* FaultMessage(ScannerFault fault) {
  return fault == ScannerFault::kTokenTooLarge ? "token too large, exceeds YYLMAX"
                                               : "input in flex scanner failed";
}

// Thrown by ScannerFatal; caught where a parse starts, never crossing an exported function.
struct ScannerFailure {
  ScannerFault fault;
  const char* message() const { return FaultMessage(fault); }
};

struct InputBuffer {
  // count valid bytes, then two NUL end marks; the slack behind them lets word-wide scans read
  // a little past an end mark, whose NUL stops them.
  char storage[kBufferCapacity + 2 + kStorageSlack] = {};
  int capacity = kBufferCapacity;
  int count = 0;
  bool interactive = false;
  bool at_line_start = true;
  int status = BUFFER_NEW;
};

// Semantic value of the current token. Name tokens write text (at most 255 bytes and the
// terminator); value tokens write number and converted. Other tokens leave it as it was.
struct TokenValue {
  char text[kTokenValueSize] = {};
  int text_length = 0;
  std::uint32_t number = 0;
  bool converted = false;
};

// The readers of whole lines, from the plainest to the widest: a byte at a time; the window
// reader (bit masks of a line's first 64 bytes, SSE2); the wide reader (AVX2 and BMI, which
// also takes whole runs of plain lines and whole continued entries). All read the same lines
// the same way. kWide32 is the wide reader as 32-bit processors run it (a line's fields from
// two 32-bit windows, where 64-bit masks would take register pairs): what the 32-bit library
// does with kWide, chosen by tests on 64-bit processors so that both ways run there too.
enum class LineReader { kSerial, kWindow, kWide, kWide32 };

// Whether this processor runs the reader.
bool LineReaderAvailable(LineReader reader);

// The widest reader this processor runs, chosen once.
LineReader BestLineReader();

struct Scanner {
  TextStream stream;
  InputBuffer buffer;
  int token_start = 0;  // index in buffer.storage of the next byte to match
  char token_text[kTokenTextSize] = {};
  int token_length = 0;
  LineNumber line_counter = 1;
  StartCondition condition = LINE_START;
  TokenValue value;
  LineReader line_reader = BestLineReader();  // tests choose others
  ReadFunction read = nullptr;                // each stream's read (null: the system's)
};

// Makes an opened stream the scanner's input and starts afresh: empty buffer, LINE_START,
// at line start, line counter 1.
void ResetScanner(Scanner& scanner, std::FILE* file);

// The same for a map of size bytes held in memory at text (which must outlive the parse).
void ResetScannerOnText(Scanner& scanner, const char* text, std::size_t size);

// Refills the buffer behind the pending bytes of an unfinished token.
FillOutcome FillBuffer(Scanner& scanner);

// Records a match of length bytes from the token start: the length limit, the token text,
// the line counter and the at-line-start flag. end_of_buffer marks the end-of-buffer event,
// whose length counts the end mark.
void CaptureToken(Scanner& scanner, int length, bool end_of_buffer);

// Abandons the parse with one of the fatal messages above.
[[noreturn]] void ScannerFatal(ScannerFault fault);

// Returns the next token code; 0 at the end of input.
int NextToken(Scanner& scanner);

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
