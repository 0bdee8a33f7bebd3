// SPDX-License-Identifier: MIT
// The symbol-table exports: null checks and the table's own state. No exception crosses them.
#include <new>
#include <string>

#include "api/symbol_table.h"
#include "api/version.h"
#include "kestrum8_map.h"
#include "notes/map_notes.h"
#include "scanner/symbol_kind.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr const char* kTextName = "<text>";  // what a map in memory without a name goes by

int32_t Parse(SymbolTable* table, const k8map::MapInput& input) {
  if (table == nullptr) return -1;
  try {
    return k8map::ParseIntoTable(*table, input);
  } catch (...) {
    return k8map::ParseFailedForMemory(*table);
  }
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
  return Parse(table, k8map::MapInput{path});
}

K8MAP_API int32_t K8MAP_CDECL ParseMapText(SymbolTable* table, const char* text, size_t size,
                                           const char* name) {
  return Parse(table,
               k8map::MapInput{name != nullptr ? name : kTextName, nullptr, true, text, size});
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
  return FindNearestSymbol(table, address, K8MAP_KINDS_ADDRESS, K8MAP_NO_LIMIT);
}

K8MAP_API size_t K8MAP_CDECL FindSymbolsByAddress(const SymbolTable* table,
                                                  const uint32_t* addresses, size_t count,
                                                  const MapSymbol** symbols) {
  return FindNearestSymbols(table, addresses, count, K8MAP_KINDS_ADDRESS, K8MAP_NO_LIMIT, symbols);
}

K8MAP_API const char* K8MAP_CDECL GetSymbolTableError(const SymbolTable* table) {
  return table != nullptr ? table->parse.error_message : "";
}

K8MAP_API const char* K8MAP_CDECL GetKindName(int kind) {
  return kind >= k8map::kKindAddr && kind <= k8map::kKindCount ? k8map::kKindKeywords[kind]
                                                               : nullptr;
}

K8MAP_API int K8MAP_CDECL GetKindByName(const char* name) {
  return name != nullptr ? k8map::KindByKeyword(name) : 0;
}

K8MAP_API uint32_t K8MAP_CDECL GetSymbolTableStatus(const SymbolTable* table) {
  return table != nullptr && table->indexes.Refused() ? K8MAP_STATUS_INDEX_REFUSED : 0u;
}

K8MAP_API const char* K8MAP_CDECL GetMapLibraryVersion(void) {
  return K8MAP_LIBRARY_VERSION;
}

K8MAP_API int32_t K8MAP_CDECL GetSymbolTableErrorCode(const SymbolTable* table) {
  return table != nullptr ? table->parse.failure.code : K8MAP_ERROR_NONE;
}

K8MAP_API uint64_t K8MAP_CDECL GetSymbolTableErrorLine(const SymbolTable* table) {
  return table != nullptr ? table->parse.failure.line : 0;
}

K8MAP_API const char* K8MAP_CDECL GetSymbolTableErrorToken(const SymbolTable* table) {
  return table != nullptr ? table->parse.failure.token : "";
}

K8MAP_API int32_t K8MAP_CDECL GetSymbolTableErrorSystem(const SymbolTable* table) {
  return table != nullptr ? table->parse.failure.system : 0;
}

K8MAP_API int32_t K8MAP_CDECL SetSymbolTableFlags(SymbolTable* table, uint32_t flags) {
  if (table == nullptr || (flags & ~K8MAP_TABLE_NOTES) != 0) return -1;
  table->flags = flags;
  return 0;
}

K8MAP_API size_t K8MAP_CDECL GetNoteCount(const SymbolTable* table) {
  return table != nullptr ? table->notes.list.size() : 0;
}

K8MAP_API const MapNote* K8MAP_CDECL GetNotes(const SymbolTable* table) {
  return table != nullptr && !table->notes.list.empty() ? table->notes.list.data() : nullptr;
}

K8MAP_API const char* K8MAP_CDECL GetNoteText(int reason) {
  return k8map::NoteText(reason);
}

K8MAP_API const char* K8MAP_CDECL GetNoteLine(const SymbolTable* table, size_t index,
                                              size_t* length) {
  std::string_view line;
  if (table == nullptr || length == nullptr || !k8map::NoteLine(table->notes, index, &line)) {
    return nullptr;
  }
  *length = line.size();
  return line.data();
}

K8MAP_API const MapSymbol* K8MAP_CDECL FindNearestSymbol(const SymbolTable* table, uint32_t address,
                                                         uint32_t kinds, uint32_t max_offset) {
  if (table == nullptr) return nullptr;
  return table->indexes.FindNearest(table->store.symbols, table->store.count, address, kinds,
                                    max_offset);
}

K8MAP_API size_t K8MAP_CDECL FindNearestSymbols(const SymbolTable* table, const uint32_t* addresses,
                                                size_t count, uint32_t kinds, uint32_t max_offset,
                                                const MapSymbol** symbols) {
  if (addresses == nullptr || symbols == nullptr) return 0;
  if (table == nullptr) {
    for (size_t i = 0; i < count; ++i) symbols[i] = nullptr;
    return 0;
  }
  return table->indexes.FindManyNearest(table->store.symbols, table->store.count, addresses, count,
                                        kinds, max_offset, symbols);
}

K8MAP_API size_t K8MAP_CDECL FindNearestSymbolIndices(const SymbolTable* table,
                                                      const uint32_t* addresses, size_t count,
                                                      uint32_t kinds, uint32_t max_offset,
                                                      uint32_t* indices, uint32_t* offsets) {
  if (addresses == nullptr || indices == nullptr || offsets == nullptr) return 0;
  if (table == nullptr) {
    for (size_t i = 0; i < count; ++i) indices[i] = K8MAP_NO_SYMBOL, offsets[i] = 0;
    return 0;
  }
  return table->indexes.FindManyNearestIndices(table->store.symbols, table->store.count, addresses,
                                               count, kinds, max_offset, indices, offsets);
}

K8MAP_API size_t K8MAP_CDECL FindSymbolsByName(const SymbolTable* table, const char* name,
                                               const MapSymbol** symbols, size_t capacity) {
  if (table == nullptr) return 0;
  if (symbols == nullptr) capacity = 0;  // the number alone
  return table->indexes.FindAllByName(table->store.symbols, table->store.count, name, symbols,
                                      capacity);
}

K8MAP_API int32_t K8MAP_CDECL GetMapLibraryVersionNumber(void) {
  return K8MAP_VERSION_MAJOR * 10000 + K8MAP_VERSION_MINOR * 100 + K8MAP_VERSION_PATCH;
}

#ifdef _WIN32
K8MAP_API int32_t K8MAP_CDECL ParseMapFileW(SymbolTable* table, const wchar_t* path) {
  if (table == nullptr) return -1;
  if (path == nullptr) return Parse(table, k8map::MapInput{nullptr});
  try {
    // Messages name the path in UTF-8.
    int size = WideCharToMultiByte(CP_UTF8, 0, path, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, path, -1, utf8.data(), size, nullptr, nullptr);
    return Parse(table, k8map::MapInput{utf8.c_str(), path});
  } catch (...) {
    return k8map::ParseFailedForMemory(*table);
  }
}
#endif

}  // extern "C"
