// SPDX-License-Identifier: MIT
// The scanner's input side: buffer initialisation, refills, token capture and fatal failures.
#include <algorithm>
#include <cstring>

#include "scanner/line_readers.h"
#include "scanner/scanner.h"

namespace k8map {
namespace {

// Empties the buffer for the current stream: two end marks, at line start, status new.
void InitBuffer(Scanner& scanner) {
  InputBuffer& buffer = scanner.buffer;
  buffer.count = 0;
  buffer.storage[0] = '\0';
  buffer.storage[1] = '\0';
  scanner.token_start = 0;
  buffer.at_line_start = true;
  buffer.status = BUFFER_NEW;
  buffer.interactive = scanner.stream.file != nullptr && IsCharacterDevice(scanner.stream.file);
}

// Keeps a copy of what was read for the notes: out of line, so that the reads of a parse
// without notes stay as small as they were.
[[gnu::noinline, gnu::cold]] void CopyRead(std::string& copy, const char* bytes, std::size_t n) {
  copy.append(bytes, n);
}

// Reads at most limit new bytes behind the pending ones; returns how many were stored.
int ReadInput(Scanner& scanner, char* dst, int limit) {
  std::size_t got = 0;
  ReadStatus status = scanner.buffer.interactive
                          ? ReadLine(scanner.stream, dst, static_cast<std::size_t>(limit), &got)
                          : ReadBlock(scanner.stream, dst, static_cast<std::size_t>(limit), &got);
  if (status == ReadStatus::kError) ScannerFatal(ScannerFault::kInputFailed);
  if (scanner.stream.copy != nullptr) CopyRead(*scanner.stream.copy, dst, got);
  return static_cast<int>(got);
}

}  // namespace

void ScannerFatal(ScannerFault fault) {
  throw ScannerFailure{fault};
}

void ResetScanner(Scanner& scanner, std::FILE* file) {
  scanner.stream = TextStream{};
  scanner.stream.file = file;
  scanner.stream.read = scanner.read;
  scanner.stream.search = SearchWidthOf(scanner.line_reader);
  InitBuffer(scanner);
  scanner.condition = LINE_START;
  scanner.line_counter = 1;
}

void ResetScannerOnText(Scanner& scanner, const char* text, std::size_t size) {
  ResetScanner(scanner, nullptr);
  scanner.stream.memory = size > 0 ? text : "";
  scanner.stream.memory_size = size;
}

FillOutcome FillBuffer(Scanner& scanner) {
  InputBuffer& buffer = scanner.buffer;
  int pending = buffer.count - scanner.token_start;
  std::memmove(buffer.storage, buffer.storage + scanner.token_start,
               static_cast<std::size_t>(pending));

  int fresh = 0;
  if (buffer.status != BUFFER_END_PENDING) {
    int limit = std::min(kReadLimit, buffer.capacity - pending - 1);
    fresh = ReadInput(scanner, buffer.storage + pending, limit);
  }

  FillOutcome outcome = FILL_CONTINUE;
  if (fresh == 0 && pending == 0) {
    outcome = FILL_END_OF_INPUT;
    InitBuffer(scanner);
  } else if (fresh == 0) {
    outcome = FILL_LAST_MATCH;
    buffer.status = BUFFER_END_PENDING;
  }
  buffer.count = pending + fresh;
  buffer.storage[buffer.count] = '\0';
  buffer.storage[buffer.count + 1] = '\0';
  scanner.token_start = 0;
  return outcome;
}

void CaptureToken(Scanner& scanner, int length, bool end_of_buffer) {
  if (length >= kTokenTextSize) ScannerFatal(ScannerFault::kTokenTooLarge);
  const char* text = scanner.buffer.storage + scanner.token_start;
  std::memcpy(scanner.token_text, text, static_cast<std::size_t>(length));
  scanner.token_text[length] = '\0';
  scanner.token_length = end_of_buffer ? length - 1 : length;
  // The end-of-buffer event's text is the pending bytes and the end mark; the pending bytes
  // stay where they are for FillBuffer to move.
  if (end_of_buffer) return;
  scanner.token_start += length;
  if (length == 0) return;
  scanner.line_counter += std::count(text, text + length, '\n');
  scanner.buffer.at_line_start = text[length - 1] == '\n';
}

}  // namespace k8map
