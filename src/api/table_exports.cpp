// SPDX-License-Identifier: MIT
// The symbol-table exports: null checks and the table's own state. No exception crosses them.
#include <new>

#include "api/error_message.h"
#include "api/symbol_table.h"
#include "api/version.h"
#include "kestrum8_map.h"
#include "scanner/symbol_kind.h"

namespace {

// A parse that failed outside the parser's own failures (memory for the table's helper, say).
int32_t ParseFailed(SymbolTable* table) {
  if (table->error_message[0] == '\0') {
    k8map::ErrorMessage(table->error_message, k8map::kErrorMessageSize)
        .Text("out of memory")
        .Finish();
  }
  return -1;
}

}  // namespace

extern "C" {

K8MAP_API SymbolTable* K8MAP_CDECL CreateSymbolTable(void) {
  return new (std::nothrow) SymbolTable;
}

K8MAP_API void K8MAP_CDECL FreeSymbolTable(SymbolTable* table) {
  delete table;
}

K8MAP_API int32_t K8MAP_CDECL ParseMapFile(SymbolTable* table, const char* path) {
  if (table == nullptr) return -1;
  try {
    return k8map::ParseIntoTable(*table, k8map::MapInput{path});
  } catch (...) {
    return ParseFailed(table);
  }
}

K8MAP_API int32_t K8MAP_CDECL ParseMapText(SymbolTable* table, const char* text, size_t size,
                                           const char* name) {
  if (table == nullptr) return -1;
  try {
    return k8map::ParseIntoTable(*table, k8map::MapInput{name, true, text, size});
  } catch (...) {
    return ParseFailed(table);
  }
}

K8MAP_API size_t K8MAP_CDECL GetSymbolCount(const SymbolTable* table) {
  return table != nullptr ? table->store.count : 0;
}

K8MAP_API const MapSymbol* K8MAP_CDECL GetSymbols(const SymbolTable* table) {
  return table != nullptr && table->store.count > 0 ? table->store.symbols : nullptr;
}

K8MAP_API const MapSymbol* K8MAP_CDECL FindSymbolByName(const SymbolTable* table,
                                                        const char* name) {
  if (table == nullptr) return nullptr;
  return table->indexes.FindByName(table->store.symbols, table->store.count, name);
}

K8MAP_API const MapSymbol* K8MAP_CDECL FindSymbolByAddress(const SymbolTable* table,
                                                           uint32_t address) {
  if (table == nullptr) return nullptr;
  return table->indexes.FindByAddress(table->store.symbols, table->store.count, address);
}

K8MAP_API size_t K8MAP_CDECL FindSymbolsByAddress(const SymbolTable* table,
                                                  const uint32_t* addresses, size_t count,
                                                  const MapSymbol** symbols) {
  if (addresses == nullptr || symbols == nullptr) return 0;
  if (table == nullptr) {
    for (size_t i = 0; i < count; ++i) symbols[i] = nullptr;
    return 0;
  }
  return table->indexes.FindManyByAddress(table->store.symbols, table->store.count, addresses,
                                          count, symbols);
}

K8MAP_API const char* K8MAP_CDECL GetSymbolTableError(const SymbolTable* table) {
  return table != nullptr ? table->error_message : "";
}

K8MAP_API const char* K8MAP_CDECL GetKindName(int kind) {
  return kind >= k8map::kKindAddr && kind <= k8map::kKindCount ? k8map::kKindNames[kind] : nullptr;
}

K8MAP_API const char* K8MAP_CDECL GetMapLibraryVersion(void) {
  return K8MAP_LIBRARY_VERSION;
}

}  // extern "C"
