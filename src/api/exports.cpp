// SPDX-License-Identifier: MIT
// The eight exported functions: thin wrappers over the module-wide library state. No
// exception crosses them.
#include "api/library.h"
#include "kestrum8_map.h"

using k8map::ModuleLibrary;

extern "C" {

K8MAP_API int32_t K8MAP_STDCALL MapParse(const char* path) {
  try {
    return k8map::RunMapParse(ModuleLibrary(), path);
  } catch (...) {
    return -1;
  }
}

K8MAP_API int32_t K8MAP_CDECL GetRecordCount(void) {
  return k8map::Count(ModuleLibrary().records);
}

K8MAP_API SymbolRecord* K8MAP_CDECL GetRecordTop(void) {
  return k8map::Head(ModuleLibrary().records);
}

K8MAP_API int32_t K8MAP_STDCALL GetFirstRecord(uint32_t* value, const char** name) {
  return k8map::First(ModuleLibrary().records, value, name);
}

K8MAP_API int32_t K8MAP_STDCALL GetNextRecord(uint32_t* value, const char** name) {
  return k8map::Next(ModuleLibrary().records, value, name);
}

K8MAP_API void K8MAP_CDECL FreeAllRecords(void) {
  k8map::FreeAll(ModuleLibrary().records);
}

K8MAP_API const char* K8MAP_CDECL GetErrorMessage(void) {
  return ModuleLibrary().parse.error_message;
}

K8MAP_API const char* K8MAP_CDECL GetMapDllVersion(void) {
  return k8map::VersionString();
}

}  // extern "C"
