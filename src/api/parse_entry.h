// SPDX-License-Identifier: MIT
// The parse entry shared by MapParse and the symbol tables: open the map (a file, or bytes in
// memory standing for one), run the parser over it into a record list or a symbol store, and
// explain a failure in an error buffer of kErrorMessageSize bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "grammar/engine.h"
#include "grammar/map_actions.h"
#include "records/record_list.h"
#include "records/symbol_store.h"
#include "scanner/scanner.h"

namespace k8map {

inline constexpr int kErrorMessageSize = 256;

// What a failed parse says beyond its message, for hosts to read without parsing it.
struct ParseFailure {
  int code = K8MAP_ERROR_NONE;
  std::uint64_t line = 0;           // the line of the token the parse stopped at; 0: none
  int system = 0;                   // errno of an open or read failure
  char token[kTokenTextSize] = {};  // a syntax error's token

  void Clear() {
    code = K8MAP_ERROR_NONE;
    line = 0;
    system = 0;
    token[0] = '\0';
  }
};

// Everything a parse keeps of its own, the same for the module-wide record list and for each
// symbol table: scanner, grammar state, stacks, the outcome of the last parse, and settings.
struct ParseContext {
  Scanner scanner;
  GrammarState grammar;
  EngineStacks stacks;
  char error_message[kErrorMessageSize] = {};  // empty until a parse fails
  ParseFailure failure;
  bool line_shortcut = true;  // off: every line token by token (tests compare the two)
  // Maps of at least this many bytes get their arenas' chunks made ready by a helper thread;
  // below it the thread costs more than it saves.
  long long chunk_supply_threshold = 4 * 1024 * 1024;
};

// What to parse: the file at path (on Windows also wide_path, a UTF-16 path, with path its
// UTF-8 form for messages), or (in_memory) the size bytes at text, with path the name that
// messages give it. A null path cannot be opened.
struct MapInput {
  const char* path;
  const wchar_t* wide_path = nullptr;
  bool in_memory = false;
  const char* text = nullptr;
  std::size_t size = 0;
};

// Parses the input into the store: 0, or -1 with the context's error message and failure
// written. Whatever happens inside, the file is closed and the store no longer refers to the
// parse's helper. With notes, the notes on the lines that made no symbol are appended there.
int RunParse(ParseContext& context, RecordList& records, const MapInput& input);
struct MapNotes;
int RunParse(ParseContext& context, SymbolStore& symbols, const MapInput& input, MapNotes* notes);

}  // namespace k8map
