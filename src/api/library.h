// SPDX-License-Identifier: MIT
// The library's module-wide state behind the eight record-list exports, and their parse entry.
// Tests create their own Library instances; the exported functions use the one module-wide
// instance.
#pragma once

#include "api/parse_entry.h"
#include "grammar/map_actions.h"
#include "records/record_list.h"
#include "scanner/scanner.h"

namespace k8map {

struct Library {
  Scanner scanner;
  GrammarState grammar;
  EngineStacks stacks;
  RecordList records;
  char error_message[kErrorMessageSize] = {};  // empty until the first failure
  ParseFailure failure;
  bool line_shortcut = true;  // off: every line token by token (tests compare the two)
  // Regular files of at least this many bytes get their record arenas' chunks made ready by a
  // helper thread; below it the thread costs more than it saves.
  long long chunk_supply_threshold = 4 * 1024 * 1024;
};

Library& ModuleLibrary();

// Parses the map file at path into lib's record list: 0, or -1 with lib.error_message set.
int RunMapParse(Library& lib, const char* path);

// The version string "kestrum8_map.dll Ver.1.0".
const char* VersionString();

}  // namespace k8map
