// SPDX-License-Identifier: MIT
// MapParse: the parse entry over the module-wide record list.
#include "api/library.h"
#include "api/version.h"

namespace k8map {

Library& ModuleLibrary() {
  static Library library;
  return library;
}

const char* VersionString() {
  return K8MAP_VERSION_STRING;
}

int RunMapParse(Library& lib, const char* path) {
  ParseParts parts{lib.scanner,
                   lib.grammar,
                   lib.stacks,
                   lib.error_message,
                   lib.failure,
                   lib.line_shortcut,
                   lib.chunk_supply_threshold};
  return RunParse(parts, lib.records, MapInput{path});
}

}  // namespace k8map
