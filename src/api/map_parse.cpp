// MapParse: open the file, run the parser over it, explain a failure in the error buffer.
#include <cstdio>
#include <optional>

#include "api/error_message.h"
#include "api/library.h"
#include "api/version.h"
#include "grammar/parse_tokens.h"
#include "records/chunk_supply.h"
#include "scanner/text_stream.h"

namespace k8map {
namespace {

constexpr const char* kOutOfMemory = "out of memory";

void WriteOpenFailure(Library& lib, const char* path) {
  ErrorMessage(lib.error_message, kErrorMessageSize)
      .Text("can't open file ")
      .Text(path != nullptr ? path : "(null)")
      .Finish();
}

// "<path>:<line>: <message>\n" for a fatal scanner failure or lost records.
void WriteLineFailure(Library& lib, const char* path, int line, const char* message) {
  ErrorMessage(lib.error_message, kErrorMessageSize)
      .Text(path)
      .Text(":")
      .Number(line)
      .Text(": ")
      .Text(message)
      .Finish();
}

void WriteSyntaxError(Library& lib, const char* path) {
  ErrorMessage(lib.error_message, kErrorMessageSize)
      .Text(path)
      .Text(":")
      .Number(lib.scanner.line_counter)
      .Text(": syntax error. \"")
      .Text(lib.scanner.token_text)
      .Text("\" is invalid.")
      .Finish();
}

}  // namespace

Library& ModuleLibrary() {
  static Library library;
  return library;
}

const char* VersionString() {
  return K8MAP_VERSION_STRING;
}

int RunMapParse(Library& lib, const char* path) {
  std::FILE* file = path != nullptr ? OpenMapFile(path) : nullptr;
  if (file == nullptr) {
    WriteOpenFailure(lib, path);
    return -1;
  }
  ParseReport report;
  int result = 0;
  const char* fatal = nullptr;
  {
    // A large regular file gets a helper thread that readies the record arenas' chunks.
    std::optional<ChunkSupply> supply;
    if (RegularFileSize(file) >= lib.chunk_supply_threshold) {
      supply.emplace();
      lib.records.supply = &*supply;
    }
    try {
      ResetScanner(lib.scanner, file);
      result =
          ParseTokens(lib.scanner, lib.grammar, lib.records, report, nullptr, lib.line_shortcut);
    } catch (const ScannerFailure& failure) {
      fatal = failure.message;
    }
    lib.records.supply = nullptr;
  }
  std::fclose(file);
  lib.scanner.stream = TextStream{};  // the block buffer goes with the file

  if (fatal != nullptr) {
    WriteLineFailure(lib, path, lib.scanner.line_counter, fatal);
    return -1;
  }
  if (result != 0) {
    WriteSyntaxError(lib, path);
    return -1;
  }
  if (report.records_lost) {
    WriteLineFailure(lib, path, report.first_lost_line, kOutOfMemory);
    return -1;
  }
  return 0;
}

}  // namespace k8map
