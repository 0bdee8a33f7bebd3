/* kestrum8_map: reads a symbol map file and hands the host a flat list of name/value records.
 *
 * Typical use: MapParse() once or several times; on -1 read GetErrorMessage(); walk the
 * records with GetFirstRecord()/GetNextRecord() (or from GetRecordTop()); FreeAllRecords().
 * All state is module-wide; call the library from one thread at a time. */
#ifndef KESTRUM8_MAP_H
#define KESTRUM8_MAP_H

#include <stdint.h>

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

/* Function pointer types for hosts that load the library at run time. */
typedef int32_t(K8MAP_STDCALL* MapParseFn)(const char* path);
typedef int32_t(K8MAP_CDECL* GetRecordCountFn)(void);
typedef SymbolRecord*(K8MAP_CDECL* GetRecordTopFn)(void);
typedef int32_t(K8MAP_STDCALL* GetFirstRecordFn)(uint32_t* value, const char** name);
typedef int32_t(K8MAP_STDCALL* GetNextRecordFn)(uint32_t* value, const char** name);
typedef void(K8MAP_CDECL* FreeAllRecordsFn)(void);
typedef const char*(K8MAP_CDECL* GetErrorMessageFn)(void);
typedef const char*(K8MAP_CDECL* GetMapDllVersionFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* KESTRUM8_MAP_H */
