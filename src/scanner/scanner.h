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

// The reader of whole lines a parse uses (scanner/line_readers.h).
enum class LineReader : std::uint8_t;
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
  // Tests: the wide reader finds a line's fields from two 32-bit windows, as it does on 32-bit
  // processors (where 64-bit masks would take register pairs), so that both ways run here too.
  bool narrow_windows = false;
  ReadFunction read = nullptr;  // each stream's read (null: the system's)
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

}  // namespace k8map
