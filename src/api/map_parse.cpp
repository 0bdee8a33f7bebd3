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
  return RunParse(lib.parse, lib.records, MapInput{path});
}

}  // namespace k8map
