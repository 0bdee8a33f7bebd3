// SPDX-License-Identifier: MIT
#include "api/parse_entry.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <type_traits>

#include "api/error_message.h"
#include "grammar/parse_tokens.h"
#include "notes/map_notes.h"
#include "pages/page_supply.h"
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

void WriteOpenFailure(ParseContext& context, const char* path) {
  ErrorMessage(context.error_message, kErrorMessageSize)
      .Text("can't open file ")
      .Text(path != nullptr ? path : "(null)")
      .Finish();
  context.failure.code = path != nullptr ? K8MAP_ERROR_OPEN : K8MAP_ERROR_ARGUMENT;
}

// Text in memory that is not there: a null pointer with a size.
void WriteMissingText(ParseContext& context, const char* name) {
  ErrorMessage(context.error_message, kErrorMessageSize)
      .Text(name)
      .Text(": no text: a null pointer with a size of more than 0 bytes")
      .Finish();
  context.failure.code = K8MAP_ERROR_ARGUMENT;
}

// The failure code of what stopped the scanner.
int FaultCode(ScannerFault fault) {
  return fault == ScannerFault::kTokenTooLarge ? K8MAP_ERROR_TOKEN_TOO_LONG : K8MAP_ERROR_READ;
}

// The line of the token a syntax error stopped at: a line end belongs to the line it ends; the
// end of the input to the last line (the scanner is at a line start only when the input ended
// with a line end).
LineNumber SyntaxErrorLine(const Scanner& scanner) {
  LineNumber line = scanner.line_counter;
  bool after_line_end = scanner.token_text[0] == '\n' ||
                        (scanner.token_text[0] == '\0' && scanner.condition == LINE_START);
  return after_line_end && line > 1 ? line - 1 : line;
}

// "<path>:<line>: <message>\n" for a fatal scanner failure or lost symbols.
void WriteLineFailure(ParseContext& context, const char* path, LineNumber line,
                      const char* message) {
  ErrorMessage(context.error_message, kErrorMessageSize)
      .Text(path)
      .Text(":")
      .Number(line)
      .Text(": ")
      .Text(message)
      .Finish();
}

void WriteSyntaxError(ParseContext& context, const char* path) {
  ErrorMessage(context.error_message, kErrorMessageSize)
      .Text(path)
      .Text(":")
      .Number(context.scanner.line_counter)
      .Text(": syntax error. \"")
      .Text(context.scanner.token_text)
      .Text("\" is invalid.")
      .Finish();
  context.failure.code = K8MAP_ERROR_SYNTAX;
  context.failure.line = static_cast<std::uint64_t>(SyntaxErrorLine(context.scanner));
  std::memcpy(context.failure.token, context.scanner.token_text, sizeof context.failure.token);
}

// The opened input for the time of one parse: the file closed, the scanner's block buffer
// released and the store's helper forgotten however the parse ends.
template <class Store>
class OpenedInput {
 public:
  OpenedInput(ParseContext& context, Store& store) : context_(context), store_(store) {}
  ~OpenedInput() {
    store_.source.supply = nullptr;
    supply_.reset();
    if (file_ != nullptr) std::fclose(file_);
    if (opened_) context_.scanner.stream = TextStream{};  // the block buffer goes with the file
  }
  OpenedInput(const OpenedInput&) = delete;
  OpenedInput& operator=(const OpenedInput&) = delete;

  // Opens the input and makes it the scanner's; false when it cannot be opened. size is the
  // input's size in bytes, -1 when unknown.
  bool Open(const MapInput& input, long long* size) {
    if (input.in_memory) {
      ResetScannerOnText(context_.scanner, input.text, input.size);
      *size = static_cast<long long>(input.size);
      return opened_ = true;
    }
#ifdef _WIN32
    file_ = input.wide_path != nullptr ? OpenMapFile(input.wide_path) : OpenMapFile(input.path);
#else
    file_ = OpenMapFile(input.path);
#endif
    if (file_ == nullptr) return false;
    ResetScanner(context_.scanner, file_);
    *size = RegularFileSize(file_);
    return opened_ = true;
  }

  // Keeps a copy of every byte the parse reads in text, for the notes.
  void CopyInto(std::string* text) {
    context_.scanner.stream.copy = text;
  }

  // After a failure: reads on into the copy to the end of the line the parse stopped in and a
  // byte past it, so that the notes know whether the map goes on behind the stop. Not from a
  // terminal, which would wait for its user.
  void ReadPastStop() {
    std::string* copy = context_.scanner.stream.copy;
    if (copy == nullptr || context_.scanner.buffer.interactive) return;
    const Scanner& scanner = context_.scanner;
    std::size_t pending = static_cast<std::size_t>(scanner.buffer.count - scanner.token_start);
    std::size_t at = copy->size() - std::min(pending, copy->size());
    bool after_line_end = scanner.token_text[0] == '\n';
    for (;;) {
      std::size_t line_end = after_line_end && at > 0 ? at - 1 : copy->find('\n', at);
      if (line_end != std::string::npos && copy->size() > line_end + 1) return;
      char more[256];
      std::size_t got = 0;
      ReadBlock(context_.scanner.stream, more, sizeof more, &got);
      if (got == 0) return;
      copy->append(more, got);
    }
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
    if (*supply_) store_.source.supply = &*supply_;
  }

 private:
  ParseContext& context_;
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
  UnwindMessage(ParseContext& context, const char* path)
      : context_(context), path_(path), exceptions_(std::uncaught_exceptions()) {}
  ~UnwindMessage() {
    if (std::uncaught_exceptions() > exceptions_) {
      WriteLineFailure(context_, path_, context_.scanner.line_counter, kOutOfMemory);
      context_.failure.code = K8MAP_ERROR_MEMORY;
      context_.failure.line = static_cast<std::uint64_t>(context_.scanner.line_counter);
    }
  }
  UnwindMessage(const UnwindMessage&) = delete;
  UnwindMessage& operator=(const UnwindMessage&) = delete;

 private:
  ParseContext& context_;
  const char* path_;
  int exceptions_;
};

std::size_t SymbolCount(const RecordList&) {
  return 0;
}
std::size_t SymbolCount(const SymbolStore& symbols) {
  return symbols.count;
}

// The notes of the parse that made the store's symbols from first on.
void AddNotes(const ParseContext&, const RecordList&, std::size_t, const std::string&, MapNotes&) {}
void AddNotes(const ParseContext& context, const SymbolStore& symbols, std::size_t first,
              const std::string& text, MapNotes& notes) {
  std::uint64_t stop = context.failure.code == K8MAP_ERROR_MEMORY ? 0 : context.failure.line;
  AppendNotes(text, {symbols.symbols + first, symbols.count - first, stop}, notes);
}

template <class Store>
int RunParseInto(ParseContext& context, Store& store, const MapInput& input, MapNotes* notes) {
  context.failure.Clear();
  if (input.path == nullptr) {
    WriteOpenFailure(context, nullptr);
    return -1;
  }
  if (input.in_memory && input.text == nullptr && input.size > 0) {
    WriteMissingText(context, input.path);
    return -1;
  }
  ParseReport report;
  int result = 0;
  std::optional<ScannerFault> fatal;
  std::string text;  // what the parse read, for the notes
  std::size_t first = SymbolCount(store);
  {
    UnwindMessage unwind_message(context, input.path);
    OpenedInput<Store> opened(context, store);
    long long size = -1;
    if (!opened.Open(input, &size)) {
      context.failure.system = errno;
      WriteOpenFailure(context, input.path);
      return -1;
    }
    if (notes != nullptr) {
      if (size > 0) text.reserve(static_cast<std::size_t>(size));
      opened.CopyInto(&text);
    }
    if (size >= context.chunk_supply_threshold) opened.SupplyChunks();
    PrepareStore(store, size);
    try {
      result = ParseTokens(context.scanner, context.grammar, store, report, nullptr,
                           context.line_shortcut, &context.stacks);
    } catch (const ScannerFailure& failure) {
      fatal = failure.fault;
      if (failure.fault == ScannerFault::kInputFailed) {
        context.failure.system = context.scanner.stream.read_error;
      }
    }
    if (fatal || result != 0) opened.ReadPastStop();
  }
  FinishStore(store);  // the helper is gone
  if (fatal) {
    WriteLineFailure(context, input.path, context.scanner.line_counter, FaultMessage(*fatal));
    context.failure.code = FaultCode(*fatal);
    context.failure.line = static_cast<std::uint64_t>(context.scanner.line_counter);
  } else if (result != 0) {
    WriteSyntaxError(context, input.path);
  } else if (report.records_lost) {
    WriteLineFailure(context, input.path, report.first_lost_line, kOutOfMemory);
    context.failure.code = K8MAP_ERROR_MEMORY;
    context.failure.line = static_cast<std::uint64_t>(report.first_lost_line);
  }
  if (notes != nullptr) AddNotes(context, store, first, text, *notes);
  return context.failure.code == K8MAP_ERROR_NONE ? 0 : -1;
}

}  // namespace

int RunParse(ParseContext& context, RecordList& records, const MapInput& input) {
  return RunParseInto(context, records, input, nullptr);
}

int RunParse(ParseContext& context, SymbolStore& symbols, const MapInput& input, MapNotes* notes) {
  return RunParseInto(context, symbols, input, notes);
}

}  // namespace k8map
