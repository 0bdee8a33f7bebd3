// SPDX-License-Identifier: MIT
#include "api/parse_entry.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <type_traits>

#include "api/error_message.h"
#include "grammar/parse_tokens.h"
#include "records/chunk_supply.h"
#include "records/large_pages.h"
#include "records/symbol_store.h"
#include "scanner/text_stream.h"

namespace k8map {
namespace {

constexpr const char* kOutOfMemory = "out of memory";

// Symbol lines are rarely shorter than this (names and columns make them 40 to 60 bytes): room
// for a map's symbols is made ahead from its size for lines this long. A map of shorter lines
// grows the array as it goes; room for the shortest possible lines (13 bytes) would take
// address space that a process limited in it may need for the names.
constexpr long long kShortSymbolLine = 24;

void WriteOpenFailure(const ParseParts& parts, const char* path) {
  ErrorMessage(parts.error_message, kErrorMessageSize)
      .Text("can't open file ")
      .Text(path != nullptr ? path : "(null)")
      .Finish();
}

// "<path>:<line>: <message>\n" for a fatal scanner failure or lost symbols.
void WriteLineFailure(const ParseParts& parts, const char* path, LineNumber line,
                      const char* message) {
  ErrorMessage(parts.error_message, kErrorMessageSize)
      .Text(path)
      .Text(":")
      .Number(line)
      .Text(": ")
      .Text(message)
      .Finish();
}

void WriteSyntaxError(const ParseParts& parts, const char* path) {
  ErrorMessage(parts.error_message, kErrorMessageSize)
      .Text(path)
      .Text(":")
      .Number(parts.scanner.line_counter)
      .Text(": syntax error. \"")
      .Text(parts.scanner.token_text)
      .Text("\" is invalid.")
      .Finish();
}

// The opened input for the time of one parse: the file closed, the scanner's block buffer
// released and the store's helper forgotten however the parse ends.
template <class Store>
class OpenedInput {
 public:
  OpenedInput(const ParseParts& parts, Store& store) : parts_(parts), store_(store) {}
  ~OpenedInput() {
    store_.source.supply = nullptr;
    supply_.reset();
    if (file_ != nullptr) std::fclose(file_);
    if (opened_) parts_.scanner.stream = TextStream{};  // the block buffer goes with the file
  }
  OpenedInput(const OpenedInput&) = delete;
  OpenedInput& operator=(const OpenedInput&) = delete;

  // Opens the input and makes it the scanner's; false when it cannot be opened. size is the
  // input's size in bytes, -1 when unknown.
  bool Open(const MapInput& input, long long* size) {
    if (input.path == nullptr || (input.in_memory && input.text == nullptr && input.size > 0)) {
      return false;
    }
    if (input.in_memory) {
      ResetScannerOnText(parts_.scanner, input.text, input.size);
      *size = static_cast<long long>(input.size);
      return opened_ = true;
    }
    file_ = OpenMapFile(input.path);
    if (file_ == nullptr) return false;
    ResetScanner(parts_.scanner, file_);
    *size = RegularFileSize(file_);
    return opened_ = true;
  }

  // A large map gets a helper thread that readies the store's arena chunks: a symbol table's
  // in large pages where the system offers them (when two parses share the processors, the
  // fewer page faults leave more time to each), the record list's as they always were.
  void SupplyChunks() {
    if constexpr (std::is_same_v<Store, SymbolStore>) {
      supply_.emplace(kTableChunkSize, true);
    } else {
      supply_.emplace();
    }
    store_.source.supply = &*supply_;
  }

 private:
  const ParseParts& parts_;
  Store& store_;
  std::FILE* file_ = nullptr;
  bool opened_ = false;
  std::optional<ChunkSupply> supply_;
};

void PrepareStore(RecordList&, long long) {}

// Room for the symbols the map is likely to hold, so that the array is not moved as it grows;
// the room not taken is given back afterwards (TrimSymbols). Untouched, it costs no memory.
void PrepareStore(SymbolStore& symbols, long long size) {
  if (size > 0) ReserveSymbols(symbols, static_cast<std::size_t>(size / kShortSymbolLine + 1));
}

void FinishStore(RecordList&) {}
void FinishStore(SymbolStore& symbols) {
  TrimSymbols(symbols);
}

// A parse left by an exception (none is thrown on its way today: every allocation there is
// nothrow) still says so: "<path>:<line>: out of memory", the one failure that could throw. The
// opened input is closed and forgotten by its own guard.
class UnwindMessage {
 public:
  UnwindMessage(const ParseParts& parts, const char* path)
      : parts_(parts), path_(path), exceptions_(std::uncaught_exceptions()) {}
  ~UnwindMessage() {
    if (std::uncaught_exceptions() > exceptions_) {
      WriteLineFailure(parts_, path_, parts_.scanner.line_counter, kOutOfMemory);
    }
  }
  UnwindMessage(const UnwindMessage&) = delete;
  UnwindMessage& operator=(const UnwindMessage&) = delete;

 private:
  const ParseParts& parts_;
  const char* path_;
  int exceptions_;
};

template <class Store>
int RunParseInto(const ParseParts& parts, Store& store, const MapInput& input) {
  ParseReport report;
  int result = 0;
  const char* fatal = nullptr;
  {
    UnwindMessage unwind_message(parts, input.path);
    OpenedInput<Store> opened(parts, store);
    long long size = -1;
    if (!opened.Open(input, &size)) {
      WriteOpenFailure(parts, input.path);
      return -1;
    }
    if (size >= parts.chunk_supply_threshold) opened.SupplyChunks();
    PrepareStore(store, size);
    try {
      result = ParseTokens(parts.scanner, parts.grammar, store, report, nullptr,
                           parts.line_shortcut, &parts.stacks);
    } catch (const ScannerFailure& failure) {
      fatal = failure.message;
    }
  }
  FinishStore(store);  // the helper is gone
  if (fatal != nullptr) {
    WriteLineFailure(parts, input.path, parts.scanner.line_counter, fatal);
    return -1;
  }
  if (result != 0) {
    WriteSyntaxError(parts, input.path);
    return -1;
  }
  if (report.records_lost) {
    WriteLineFailure(parts, input.path, report.first_lost_line, kOutOfMemory);
    return -1;
  }
  return 0;
}

}  // namespace

int RunParse(const ParseParts& parts, RecordList& records, const MapInput& input) {
  return RunParseInto(parts, records, input);
}

int RunParse(const ParseParts& parts, SymbolStore& symbols, const MapInput& input) {
  return RunParseInto(parts, symbols, input);
}

}  // namespace k8map
