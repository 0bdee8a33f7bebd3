// SPDX-License-Identifier: MIT
/* kestrum8_map: reads a symbol map file and hands the host its symbols.
 *
 * Two interfaces, independent of each other:
 * - The record list (ordinals 1 to 8): MapParse() once or several times; on -1 read
 *   GetErrorMessage(); walk the address records with GetFirstRecord()/GetNextRecord() (or from
 *   GetRecordTop()); FreeAllRecords(). Its state is module-wide: one thread at a time.
 * - Symbol tables (ordinals 9 and up): CreateSymbolTable(); ParseMapFile() or ParseMapText()
 *   into it; read every symbol of every kind with GetSymbols(), FindSymbolByName() and
 *   FindSymbolByAddress(); FreeSymbolTable(). Each table is its own: different tables may be
 *   used from different threads at once. */
#ifndef KESTRUM8_MAP_H
#define KESTRUM8_MAP_H

#include <stddef.h>
#include <stdint.h>

/* The library's version: K8MAP_VERSION_MAJOR, _MINOR, _PATCH and the text K8MAP_VERSION, which
   GetMapLibraryVersion() returns. */
#include "kestrum8_map_version.h"

/* Calling conventions: on 32-bit Windows MapParse, GetFirstRecord and GetNextRecord are
   __stdcall (the callee pops its arguments) and the other five __cdecl. Elsewhere both are
   the platform's default. */
#ifndef K8MAP_STDCALL
#if defined(_WIN32) && !defined(_WIN64)
#define K8MAP_STDCALL __stdcall
#define K8MAP_CDECL __cdecl
#else
#define K8MAP_STDCALL
#define K8MAP_CDECL
#endif
#endif

/* Export/import: the Windows DLL exports through its module-definition file, hosts that link
   the import library get dllimport; the Linux library exports these names only. */
#ifndef K8MAP_API
#if defined(K8MAP_BUILDING_LIBRARY)
#if defined(_WIN32)
#define K8MAP_API
#else
#define K8MAP_API __attribute__((visibility("default")))
#endif
#elif defined(_WIN32) && !defined(K8MAP_NO_DLLIMPORT)
#define K8MAP_API __declspec(dllimport)
#else
#define K8MAP_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Return codes. */
#define K8MAP_OK 0           /* MapParse succeeded */
#define K8MAP_FAILED (-1)    /* MapParse failed: see GetErrorMessage() */
#define K8MAP_RECORD 0       /* GetFirstRecord/GetNextRecord wrote a record */
#define K8MAP_NO_RECORD 1    /* GetFirstRecord/GetNextRecord: no (more) records */
#define K8MAP_ERROR_SIZE 256 /* bytes in the error message buffer, terminator included */

/* One record, as the host walks it from GetRecordTop(). On 32-bit Windows: 12 bytes, name at
   offset 0, value at 4, next at 8. The memory belongs to the library until FreeAllRecords(). */
typedef struct SymbolRecord {
  const char* name;          /* NUL-terminated symbol name */
  uint32_t value;            /* the symbol's 32-bit value */
  struct SymbolRecord* next; /* next record, or null after the last */
} SymbolRecord;

/* Ordinal 1. Parses the map file at path and appends its address symbols to the record list.
   0 on success; -1 with a message in GetErrorMessage() otherwise (records before the error stay).
 */
K8MAP_API int32_t K8MAP_STDCALL MapParse(const char* path);
/* Ordinal 2. Number of records in the list. */
K8MAP_API int32_t K8MAP_CDECL GetRecordCount(void);
/* Ordinal 3. The first record, or null when the list is empty. */
K8MAP_API SymbolRecord* K8MAP_CDECL GetRecordTop(void);
/* Ordinal 4. Restarts the iteration: writes the first record's value and name, returns 0; 1 when
 * empty. */
K8MAP_API int32_t K8MAP_STDCALL GetFirstRecord(uint32_t* value, const char** name);
/* Ordinal 5. Writes the next record's value and name and returns 0; 1 when there is none. */
K8MAP_API int32_t K8MAP_STDCALL GetNextRecord(uint32_t* value, const char** name);
/* Ordinal 6. Releases every record; the list is empty afterwards. */
K8MAP_API void K8MAP_CDECL FreeAllRecords(void);
/* Ordinal 7. Text of the last failure of MapParse (empty before any), ending with a newline. */
K8MAP_API const char* K8MAP_CDECL GetErrorMessage(void);
/* Ordinal 8. The version string "kestrum8_map.dll Ver.1.0". */
K8MAP_API const char* K8MAP_CDECL GetMapDllVersion(void);

/* ---- Symbol tables ----
   A table holds the symbols of the maps parsed into it, every kind, in file order. One thread
   at a time parses into a table or frees it; while no parse runs on it, any number of threads
   may call the read-only functions (count, symbols, finds, error) on it at once. */
typedef struct SymbolTable SymbolTable; /* opaque */

/* Symbol kinds, from the kind keyword. Addr. and loc. symbols are addresses. */
#define K8MAP_KIND_ADDR 1 /* "Addr." */
#define K8MAP_KIND_LOC 2  /* "loc." */
#define K8MAP_KIND_EQU 3  /* "EQU" */
#define K8MAP_KIND_BIT 4  /* "bit" */
#define K8MAP_KIND_FUNC 5 /* "Func." */
#define K8MAP_KIND_VAR 6  /* "Var." */
#define K8MAP_KIND_ARG 7  /* "arg." */

typedef struct MapSymbol {
  const char* name; /* NUL-terminated, at most 255 bytes (longer names are cut) */
  uint32_t value;
  uint32_t line; /* line of the entry's first line (the head line of a continued name) */
  uint8_t kind;  /* K8MAP_KIND_ADDR, _LOC, _EQU, _BIT, _FUNC, _VAR or _ARG */
  char scope;    /* 'a', 'g' or 's' */
  int8_t bit;    /* the digit of a "(d)" after the value, or -1 */
} MapSymbol;

/* Ordinal 9. A new, empty table; null only when memory is exhausted. */
K8MAP_API SymbolTable* K8MAP_CDECL CreateSymbolTable(void);
/* Ordinal 10. Releases the table with its symbols and names; null is fine. */
K8MAP_API void K8MAP_CDECL FreeSymbolTable(SymbolTable* table);
/* Ordinal 11. Appends the symbols of the map file at path: 0, or -1 with the message in
   GetSymbolTableError() (the symbols before a failure stay). */
K8MAP_API int32_t K8MAP_CDECL ParseMapFile(SymbolTable* table, const char* path);
/* Ordinal 12. The same for a map held in memory (size bytes at text, read as a file would be:
   carriage returns dropped, a Ctrl-Z ends it); name stands for the path in messages. */
K8MAP_API int32_t K8MAP_CDECL ParseMapText(SymbolTable* table, const char* text, size_t size,
                                           const char* name);
/* Ordinal 13. Number of symbols in the table (0 for null). */
K8MAP_API size_t K8MAP_CDECL GetSymbolCount(const SymbolTable* table);
/* Ordinal 14. The symbols, contiguous, in table order; valid until the next parse into the
   table or its release. Null when the table is empty. */
K8MAP_API const MapSymbol* K8MAP_CDECL GetSymbols(const SymbolTable* table);
/* Ordinal 15. The first symbol of exactly that name, any kind; null when none. */
K8MAP_API const MapSymbol* K8MAP_CDECL FindSymbolByName(const SymbolTable* table, const char* name);
/* Ordinal 16. Of the Addr. and loc. symbols, the one at or nearest below address (the first in
   table order among equal values); null when none. */
K8MAP_API const MapSymbol* K8MAP_CDECL FindSymbolByAddress(const SymbolTable* table,
                                                           uint32_t address);
/* Ordinal 20. FindSymbolByAddress for count addresses at once, the answers (or nulls) written to
   symbols[0 .. count-1]; returns how many were found. Many lookups are faster this way: each
   fetches ahead what later ones read. Null arrays: nothing written, 0. */
K8MAP_API size_t K8MAP_CDECL FindSymbolsByAddress(const SymbolTable* table,
                                                  const uint32_t* addresses, size_t count,
                                                  const MapSymbol** symbols);
/* Ordinal 17. The message of the table's last parse when it failed, ending with a newline;
   empty when it succeeded or before any parse. */
K8MAP_API const char* K8MAP_CDECL GetSymbolTableError(const SymbolTable* table);
/* Ordinal 18. The kind keyword of a K8MAP_KIND_ value ("Addr.", "loc.", "EQU", ...); null for
   any other number. */
K8MAP_API const char* K8MAP_CDECL GetKindName(int kind);
/* Ordinal 19. The library's version as text, "MAJOR.MINOR.PATCH" (K8MAP_VERSION when built). */
K8MAP_API const char* K8MAP_CDECL GetMapLibraryVersion(void);

/* Function pointer types for hosts that load the library at run time. */
typedef int32_t(K8MAP_STDCALL* MapParseFn)(const char* path);
typedef int32_t(K8MAP_CDECL* GetRecordCountFn)(void);
typedef SymbolRecord*(K8MAP_CDECL* GetRecordTopFn)(void);
typedef int32_t(K8MAP_STDCALL* GetFirstRecordFn)(uint32_t* value, const char** name);
typedef int32_t(K8MAP_STDCALL* GetNextRecordFn)(uint32_t* value, const char** name);
typedef void(K8MAP_CDECL* FreeAllRecordsFn)(void);
typedef const char*(K8MAP_CDECL* GetErrorMessageFn)(void);
typedef const char*(K8MAP_CDECL* GetMapDllVersionFn)(void);
typedef SymbolTable*(K8MAP_CDECL* CreateSymbolTableFn)(void);
typedef void(K8MAP_CDECL* FreeSymbolTableFn)(SymbolTable* table);
typedef int32_t(K8MAP_CDECL* ParseMapFileFn)(SymbolTable* table, const char* path);
typedef int32_t(K8MAP_CDECL* ParseMapTextFn)(SymbolTable* table, const char* text, size_t size,
                                             const char* name);
typedef size_t(K8MAP_CDECL* GetSymbolCountFn)(const SymbolTable* table);
typedef const MapSymbol*(K8MAP_CDECL* GetSymbolsFn)(const SymbolTable* table);
typedef const MapSymbol*(K8MAP_CDECL* FindSymbolByNameFn)(const SymbolTable* table,
                                                          const char* name);
typedef const MapSymbol*(K8MAP_CDECL* FindSymbolByAddressFn)(const SymbolTable* table,
                                                             uint32_t address);
typedef size_t(K8MAP_CDECL* FindSymbolsByAddressFn)(const SymbolTable* table,
                                                    const uint32_t* addresses, size_t count,
                                                    const MapSymbol** symbols);
typedef const char*(K8MAP_CDECL* GetSymbolTableErrorFn)(const SymbolTable* table);
typedef const char*(K8MAP_CDECL* GetKindNameFn)(int kind);
typedef const char*(K8MAP_CDECL* GetMapLibraryVersionFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* KESTRUM8_MAP_H */
