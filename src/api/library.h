// SPDX-License-Identifier: MIT
// The library's module-wide state behind the eight record-list exports, and their parse entry.
// Tests create their own Library instances; the exported functions use the one module-wide
// instance.
#pragma once

#include "api/parse_entry.h"
#include "records/record_list.h"

namespace k8map {

struct Library {
  ParseContext parse;
  RecordList records;
};

Library& ModuleLibrary();

// Parses the map file at path into lib's record list: 0, or -1 with lib.parse.error_message set.
int RunMapParse(Library& lib, const char* path);

// The version string "kestrum8_map.dll Ver.1.0".
const char* VersionString();

}  // namespace k8map
