/* SPDX-License-Identifier: MIT */
/* kestrum8_map: reads a symbol map file and hands the host its symbols.
 *
 * Two interfaces, independent of each other:
 * - The record list (ordinals 1 to 8): MapParse() once or several times; on -1 read
 *   GetErrorMessage(); walk the address records with GetFirstRecord()/GetNextRecord() (or from
 *   GetRecordTop()); FreeAllRecords(). Its state is module-wide: one thread at a time.
 * - Symbol tables (ordinals 9 and up): CreateSymbolTable(); ParseMapFile() or ParseMapText()
 *   into it; read every symbol of every kind with GetSymbols(), FindSymbolByName() and
 *   FindSymbolByAddress() (or the bounded, kind-aware FindNearestSymbol()); on -1 read the
 *   error's code, line and token (GetSymbolTableErrorCode() and the functions beside it);
 *   FreeSymbolTable(). Each table is its own: different tables may be used from different
 *   threads at once. */
#ifndef KESTRUM8_MAP_H
#define KESTRUM8_MAP_H

#include <stddef.h>
#include <stdint.h>

/* The library's version: K8MAP_VERSION_MAJOR, _MINOR, _PATCH and the text K8MAP_VERSION, which
   GetMapLibraryVersion() returns. */
#include "kestrum8_map_version.h"

/* Calling conventions: on 32-bit Windows MapParse, GetFirstRecord and GetNextRecord are
   __stdcall (the callee pops its arguments) and every other function __cdecl. Elsewhere both
   are the platform's default. Each macro may be defined beforehand on its own. */
#if defined(_WIN32) && !defined(_WIN64)
#ifndef K8MAP_STDCALL
#define K8MAP_STDCALL __stdcall
#endif
#ifndef K8MAP_CDECL
#define K8MAP_CDECL __cdecl
#endif
#else
#ifndef K8MAP_STDCALL
#define K8MAP_STDCALL
#endif
#ifndef K8MAP_CDECL
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
/* On Windows the functions are imported from the DLL; define K8MAP_NO_DLLIMPORT to declare them
   without __declspec(dllimport), for a host that links the library's code into itself or
   resolves the functions at run time only. */
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
#define K8MAP_OK 0           /* MapParse, ParseMapFile, ParseMapText succeeded */
#define K8MAP_FAILED (-1)    /* they failed: see GetErrorMessage() or GetSymbolTableError() */
#define K8MAP_RECORD 0       /* GetFirstRecord/GetNextRecord wrote a record */
#define K8MAP_NO_RECORD 1    /* GetFirstRecord/GetNextRecord: no (more) records */
#define K8MAP_ERROR_SIZE 256 /* bytes in an error message buffer, terminator included */

/* One record, as the host walks it from GetRecordTop(). On 32-bit Windows: 12 bytes, name at
   offset 0, value at 4, next at 8. The memory belongs to the library until FreeAllRecords(). */
typedef struct SymbolRecord {
  const char* name;          /* NUL-terminated symbol name */
  uint32_t value;            /* the symbol's 32-bit value */
  struct SymbolRecord* next; /* next record, or null after the last */
} SymbolRecord;

/* Ordinal 1. Parses the map file at path and appends its address symbols to the record list.
   0 on success; -1 with a message in GetErrorMessage() otherwise (records before the error
   stay). A null path fails with "can't open file (null)". */
K8MAP_API int32_t K8MAP_STDCALL MapParse(const char* path);
/* Ordinal 2. Number of records in the list. */
K8MAP_API int32_t K8MAP_CDECL GetRecordCount(void);
/* Ordinal 3. The first record, or null when the list is empty. */
K8MAP_API SymbolRecord* K8MAP_CDECL GetRecordTop(void);
/* Ordinal 4. Restarts the iteration: writes the first record's value and name, returns 0; 1 when
   empty. A null out slot is not written. */
K8MAP_API int32_t K8MAP_STDCALL GetFirstRecord(uint32_t* value, const char** name);
/* Ordinal 5. Writes the next record's value and name and returns 0; 1 when there is none. A
   null out slot is not written. */
K8MAP_API int32_t K8MAP_STDCALL GetNextRecord(uint32_t* value, const char** name);
/* Ordinal 6. Releases every record; the list is empty afterwards. */
K8MAP_API void K8MAP_CDECL FreeAllRecords(void);
/* Ordinal 7. Text of the last failure of MapParse (empty before any), ending with a newline. */
K8MAP_API const char* K8MAP_CDECL GetErrorMessage(void);
/* Ordinal 8. The version string "kestrum8_map.dll Ver.1.0". */
K8MAP_API const char* K8MAP_CDECL GetMapDllVersion(void);

/* ---- Symbol tables ----
   A table holds the symbols of the maps parsed into it, every kind, in file order. One thread
   at a time parses into a table, sets its flags or frees it; while no parse runs on it, any
   number of threads may call the read-only functions (count, symbols, finds, errors, notes) on
   it at once. Every function taking a table accepts null: it then answers as for an empty table
   (the batch finds write their empty answers, a null or K8MAP_NO_SYMBOL for each address) and
   returns what it returns for one (-1 for the parses and SetSymbolTableFlags). */
typedef struct SymbolTable SymbolTable; /* opaque */

/* Symbol kinds, from the kind keyword. Addr. and loc. symbols are addresses. */
#define K8MAP_KIND_ADDR 1 /* "Addr." */
#define K8MAP_KIND_LOC 2  /* "loc." */
#define K8MAP_KIND_EQU 3  /* "EQU" */
#define K8MAP_KIND_BIT 4  /* "bit" */
#define K8MAP_KIND_FUNC 5 /* "Func." */
#define K8MAP_KIND_VAR 6  /* "Var." */
#define K8MAP_KIND_ARG 7  /* "arg." */
/* The kind keywords as they stand in a map, in kind order from K8MAP_KIND_ADDR: an initializer
   list ({"", K8MAP_KIND_KEYWORDS} is indexed by kind). */
#define K8MAP_KIND_KEYWORDS "Addr.", "loc.", "EQU", "bit", "Func.", "Var.", "arg."
/* The scope letters of an entry: "a", "g" or "s". */
#define K8MAP_SCOPE_LETTERS "ags"
/* A symbol's name is at most this many bytes; longer names are cut. */
#define K8MAP_NAME_MAX 255

/* Sets of kinds for the bounded finds: a bit per kind. */
#define K8MAP_KIND_MASK(kind) (1u << (kind))
#define K8MAP_KINDS_ADDRESS (K8MAP_KIND_MASK(K8MAP_KIND_ADDR) | K8MAP_KIND_MASK(K8MAP_KIND_LOC))
#define K8MAP_KINDS_ALL 0xFEu       /* all seven kinds */
#define K8MAP_NO_LIMIT 0xFFFFFFFFu  /* max_offset: any distance below the address */
#define K8MAP_NO_SYMBOL 0xFFFFFFFFu /* FindNearestSymbolIndices: no symbol answers */

typedef struct MapSymbol {
  const char* name; /* NUL-terminated, at most K8MAP_NAME_MAX bytes (longer names are cut) */
  uint32_t value;
  uint32_t line; /* line of the entry's first line (the head line of a continued name) */
  uint8_t kind;  /* K8MAP_KIND_ADDR, _LOC, _EQU, _BIT, _FUNC, _VAR or _ARG */
  char scope;    /* 'a', 'g' or 's' */
  int8_t bit;    /* the digit of a "(d)" after the value, or -1 */
} MapSymbol;

/* Why the last parse into a table failed (GetSymbolTableErrorCode). */
#define K8MAP_ERROR_NONE 0           /* it succeeded, or no parse yet */
#define K8MAP_ERROR_OPEN 1           /* the file cannot be opened (or is a folder) */
#define K8MAP_ERROR_READ 2           /* reading the file failed */
#define K8MAP_ERROR_SYNTAX 3         /* the input is not a map listing */
#define K8MAP_ERROR_TOKEN_TOO_LONG 4 /* a token of 8192 bytes or more */
#define K8MAP_ERROR_MEMORY 5         /* memory ran out: symbols were lost */
#define K8MAP_ERROR_ARGUMENT 6       /* a null path, or null text with a size */

/* Table flags (SetSymbolTableFlags). */
#define K8MAP_TABLE_NOTES 1u /* keep notes on the lines that made no symbol */

/* Table status (GetSymbolTableStatus). Memory for a lookup index was refused: the lookups that
   need it search the symbols one by one. */
#define K8MAP_STATUS_INDEX_REFUSED 1u

/* A line of the map that looks like a symbol entry but made none, or whose name was cut. */
typedef struct MapNote {
  uint32_t line;   /* counted from 1 */
  uint32_t column; /* byte in the line, counted from 1 (carriage returns not counted) */
  uint8_t reason;  /* K8MAP_NOTE_...; GetNoteText() says it in words */
} MapNote;

/* Note reasons. */
#define K8MAP_NOTE_NOT_SPACE_FIRST 1  /* begins with a tab or other blank, not a space */
#define K8MAP_NOTE_SEPARATOR 2        /* a vertical tab or no-break space between fields */
#define K8MAP_NOTE_NO_NAME 3          /* a kind keyword where the name belongs */
#define K8MAP_NOTE_NAME_START 4       /* the name begins with a digit or other byte */
#define K8MAP_NOTE_NAME_CHARACTER 5   /* the name holds a byte names do not */
#define K8MAP_NOTE_NAME_PLUS 6        /* '+' inside the name */
#define K8MAP_NOTE_NAME_KIND_JOINED 7 /* no blank between the name and the kind */
#define K8MAP_NOTE_NAME_FORM_FEED 8   /* a form feed right after the name */
#define K8MAP_NOTE_NAME_ALONE 9    /* never given: a name alone reads as a piece (_PIECE_ALONE) */
#define K8MAP_NOTE_KIND_CASE 10    /* kind keyword in another letter case */
#define K8MAP_NOTE_KIND_DOT 11     /* kind keyword without its '.' */
#define K8MAP_NOTE_KIND_MISSING 12 /* a scope or value where the kind belongs */
#define K8MAP_NOTE_KIND_UNKNOWN 13 /* no kind keyword */
#define K8MAP_NOTE_SCOPE_VALUE_MISSING 14   /* the line ends after the kind */
#define K8MAP_NOTE_SCOPE_CASE 15            /* an upper-case scope letter */
#define K8MAP_NOTE_SCOPE_MISSING 16         /* a value where the scope belongs */
#define K8MAP_NOTE_SCOPE_UNKNOWN 17         /* no scope letter */
#define K8MAP_NOTE_VALUE_MISSING 18         /* the line ends after the scope */
#define K8MAP_NOTE_VALUE_CAPITAL_X 19       /* 0X instead of 0x */
#define K8MAP_NOTE_VALUE_NO_DIGITS 20       /* 0x alone */
#define K8MAP_NOTE_VALUE_NOT_HEX 21         /* 0x followed by no hexadecimal number */
#define K8MAP_NOTE_VALUE_NO_PREFIX 22       /* a value without 0x */
#define K8MAP_NOTE_VALUE_TOO_MANY_DIGITS 23 /* more than eight digits: no symbol */
#define K8MAP_NOTE_VALUE_TOO_LONG 24        /* a value text of 256 bytes or more: no symbol */
#define K8MAP_NOTE_TRAILING_TEXT 25         /* text after the value that stops the parse */
#define K8MAP_NOTE_TOKEN_TOO_LONG 26        /* a word of 8192 bytes or more */
#define K8MAP_NOTE_CONTINUATION_BROKEN 27   /* a continued name's pieces do not follow */
#define K8MAP_NOTE_CONTINUATION_UNENDED 28  /* the input ends inside a continued name */
#define K8MAP_NOTE_ENTRY_IN_CONTINUATION 29 /* an entry where a piece was due */
#define K8MAP_NOTE_PIECE_ALONE 30           /* a name piece outside a continued name */
#define K8MAP_NOTE_NO_LINE_END 31           /* the last line has no line end */
#define K8MAP_NOTE_NAME_CUT 32              /* the name was cut at 255 bytes (a symbol was made) */
#define K8MAP_NOTE_NOT_READ 33              /* the parse stopped before this line */
#define K8MAP_NOTE_PIECE_OF_NO_SYMBOL 34    /* a piece of a name whose entry made no symbol */
#define K8MAP_NOTE_OTHER 35                 /* made no symbol for another reason (memory) */
#define K8MAP_NOTE_LAST 35

/* Ordinal 9. A new, empty table; null only when memory is exhausted. */
K8MAP_API SymbolTable* K8MAP_CDECL CreateSymbolTable(void);
/* Ordinal 10. Releases the table with its symbols and names; null is fine. */
K8MAP_API void K8MAP_CDECL FreeSymbolTable(SymbolTable* table);
/* Ordinal 11. Appends the symbols of the map file at path: 0, or -1 with the message in
   GetSymbolTableError() (the symbols before a failure stay). A null path fails with
   K8MAP_ERROR_ARGUMENT ("can't open file (null)"). On Windows the path is in the ANSI code page,
   as fopen takes it (ParseMapFileW takes any path); a folder fails with K8MAP_ERROR_OPEN and
   the system's EISDIR on every system. A file of 4 MiB or more is read with the help of a
   second thread of the library's own, ended before the call returns. */
K8MAP_API int32_t K8MAP_CDECL ParseMapFile(SymbolTable* table, const char* path);
/* Ordinal 12. The same for a map held in memory (size bytes at text, read as a file would be:
   carriage returns dropped, a Ctrl-Z ends it); name stands for the path in messages ("<text>"
   when null). Null text with a non-zero size fails with K8MAP_ERROR_ARGUMENT. */
K8MAP_API int32_t K8MAP_CDECL ParseMapText(SymbolTable* table, const char* text, size_t size,
                                           const char* name);
/* Ordinal 13. Number of symbols in the table. */
K8MAP_API size_t K8MAP_CDECL GetSymbolCount(const SymbolTable* table);
/* Ordinal 14. The symbols, contiguous, in table order; valid until the next parse into the
   table or its release. Null when the table is empty. */
K8MAP_API const MapSymbol* K8MAP_CDECL GetSymbols(const SymbolTable* table);
/* Ordinal 15. The first symbol of exactly that name, any kind; null when none (or name is
   null). This and every find below answer with pointers into GetSymbols(), valid as they are. */
K8MAP_API const MapSymbol* K8MAP_CDECL FindSymbolByName(const SymbolTable* table, const char* name);
/* Ordinal 16. Of the Addr. and loc. symbols, the one at or nearest below address (the first in
   table order among equal values); null when none. */
K8MAP_API const MapSymbol* K8MAP_CDECL FindSymbolByAddress(const SymbolTable* table,
                                                           uint32_t address);
/* Ordinal 17. The message of the table's last parse when it failed, ending with a newline;
   empty when it succeeded or before any parse. Valid until the next parse into the table or its
   release, as the texts of GetSymbolTableErrorToken are. */
K8MAP_API const char* K8MAP_CDECL GetSymbolTableError(const SymbolTable* table);
/* Ordinal 18. The kind keyword of a K8MAP_KIND_ value ("Addr.", "loc.", "EQU", ...); null for
   any other number. */
K8MAP_API const char* K8MAP_CDECL GetKindName(int kind);
/* Ordinal 19. The library's version as text, "MAJOR.MINOR.PATCH" (K8MAP_VERSION when built). */
K8MAP_API const char* K8MAP_CDECL GetMapLibraryVersion(void);
/* Ordinal 20. FindSymbolByAddress for count addresses at once, the answers (or nulls) written to
   symbols[0 .. count-1]; returns how many were found. Many lookups are faster this way: each
   fetches ahead what later ones read. Null arrays: nothing written, 0. */
K8MAP_API size_t K8MAP_CDECL FindSymbolsByAddress(const SymbolTable* table,
                                                  const uint32_t* addresses, size_t count,
                                                  const MapSymbol** symbols);

/* Ordinal 21. Why the table's last parse failed: K8MAP_ERROR_NONE after a success. */
K8MAP_API int32_t K8MAP_CDECL GetSymbolTableErrorCode(const SymbolTable* table);
/* Ordinal 22. The line of the token the failed parse stopped at (for a line end, the line it
   ends; the message's number may be one more); 0 when the failure has no line (open,
   argument) or the parse succeeded. */
K8MAP_API uint64_t K8MAP_CDECL GetSymbolTableErrorLine(const SymbolTable* table);
/* Ordinal 23. The text of the token a syntax error stopped at ("\n" for a line end, empty at
   the end of input); empty for other failures. */
K8MAP_API const char* K8MAP_CDECL GetSymbolTableErrorToken(const SymbolTable* table);
/* Ordinal 24. The system's error number (errno) of a K8MAP_ERROR_OPEN or _READ failure; 0
   otherwise. */
K8MAP_API int32_t K8MAP_CDECL GetSymbolTableErrorSystem(const SymbolTable* table);
/* Ordinal 25. Sets the table's flags (K8MAP_TABLE_NOTES) for the parses that follow: 0, or -1
   for a null table or an unknown flag. */
K8MAP_API int32_t K8MAP_CDECL SetSymbolTableFlags(SymbolTable* table, uint32_t flags);
/* Ordinal 26. The number of notes of the table's parses (0 without K8MAP_TABLE_NOTES): the notes
   of every parse into the table accumulate, as its symbols do. */
K8MAP_API size_t K8MAP_CDECL GetNoteCount(const SymbolTable* table);
/* Ordinal 27. The notes, contiguous, each parse's in line order; valid as the symbols are.
   Null when there are none. */
K8MAP_API const MapNote* K8MAP_CDECL GetNotes(const SymbolTable* table);
/* Ordinal 28. A note reason in words; null for a number that is no reason. */
K8MAP_API const char* K8MAP_CDECL GetNoteText(int reason);
/* Ordinal 29. Among the symbols whose kind is in the mask kinds (K8MAP_KIND_MASK(kind),
   K8MAP_KINDS_ADDRESS, K8MAP_KINDS_ALL), the one at or nearest below address (the first in
   table order among equal values); null when none is, or when it lies more than max_offset
   below address (K8MAP_NO_LIMIT: no bound). Bits of kinds beyond the seven kinds are ignored;
   no kind at all: null. The address symbols (K8MAP_KINDS_ADDRESS) and each single kind are
   answered from an index of their own, made on first use; a set of several other kinds asks
   each of its kinds' indexes, so that the indexes together hold each symbol at most twice. */
K8MAP_API const MapSymbol* K8MAP_CDECL FindNearestSymbol(const SymbolTable* table, uint32_t address,
                                                         uint32_t kinds, uint32_t max_offset);
/* Ordinal 30. FindNearestSymbol for count addresses at once, the answers (or nulls) written to
   symbols[0 .. count-1]; returns how many were found. Null arrays: nothing written, 0. */
K8MAP_API size_t K8MAP_CDECL FindNearestSymbols(const SymbolTable* table, const uint32_t* addresses,
                                                size_t count, uint32_t kinds, uint32_t max_offset,
                                                const MapSymbol** symbols);
/* Ordinal 31. Every symbol of exactly that name, in table order: the first capacity of them
   written to symbols, their number returned (ask with capacity 0 and null symbols for the
   number alone). A null name: 0. */
K8MAP_API size_t K8MAP_CDECL FindSymbolsByName(const SymbolTable* table, const char* name,
                                               const MapSymbol** symbols, size_t capacity);
/* Ordinal 32. The version as one number, MAJOR * 10000 + MINOR * 100 + PATCH (10200 for 1.2.0). */
K8MAP_API int32_t K8MAP_CDECL GetMapLibraryVersionNumber(void);
#ifdef _WIN32
/* Ordinal 33, Windows only. ParseMapFile for a path in UTF-16, any path Windows can open;
   messages give the path in UTF-8. */
K8MAP_API int32_t K8MAP_CDECL ParseMapFileW(SymbolTable* table, const wchar_t* path);
#endif

/* Ordinal 34. FindNearestSymbols answered as numbers, for hosts that keep arrays of their own:
   each answer's index in GetSymbols() into indices[i] (K8MAP_NO_SYMBOL for none) and the
   address's offset from its value into offsets[i] (0 for none); returns how many were found.
   Faster for large batches: the symbols themselves are not read. Null arrays: nothing written,
   0. */
K8MAP_API size_t K8MAP_CDECL FindNearestSymbolIndices(const SymbolTable* table,
                                                      const uint32_t* addresses, size_t count,
                                                      uint32_t kinds, uint32_t max_offset,
                                                      uint32_t* indices, uint32_t* offsets);
/* Ordinal 35. The K8MAP_KIND_ value of a kind keyword exactly as a map writes it ("Addr.",
   "Var.", ...; GetKindName's inverse); 0 for any other text and for null. */
K8MAP_API int K8MAP_CDECL GetKindByName(const char* name);
/* Ordinal 36. What the table's lookups met since its last parse, as K8MAP_STATUS_ bits: 0 when
   all went as it should, and for null. An index refused memory is not asked for again until the
   next parse; its lookups stay right, only slower. */
K8MAP_API uint32_t K8MAP_CDECL GetSymbolTableStatus(const SymbolTable* table);
/* Ordinal 37. The line of note index (GetNotes()[index]) as the parse read it: carriage returns
   dropped, without its line feed; its length in *length (a line may hold zero bytes), so that a
   host quotes what the note's column points at. Valid as the notes are; null for an index out
   of range (or a null table or length). */
K8MAP_API const char* K8MAP_CDECL GetNoteLine(const SymbolTable* table, size_t index,
                                              size_t* length);

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
typedef int32_t(K8MAP_CDECL* GetSymbolTableErrorCodeFn)(const SymbolTable* table);
typedef uint64_t(K8MAP_CDECL* GetSymbolTableErrorLineFn)(const SymbolTable* table);
typedef const char*(K8MAP_CDECL* GetSymbolTableErrorTokenFn)(const SymbolTable* table);
typedef int32_t(K8MAP_CDECL* GetSymbolTableErrorSystemFn)(const SymbolTable* table);
typedef int32_t(K8MAP_CDECL* SetSymbolTableFlagsFn)(SymbolTable* table, uint32_t flags);
typedef size_t(K8MAP_CDECL* GetNoteCountFn)(const SymbolTable* table);
typedef const MapNote*(K8MAP_CDECL* GetNotesFn)(const SymbolTable* table);
typedef const char*(K8MAP_CDECL* GetNoteTextFn)(int reason);
typedef const MapSymbol*(K8MAP_CDECL* FindNearestSymbolFn)(const SymbolTable* table,
                                                           uint32_t address, uint32_t kinds,
                                                           uint32_t max_offset);
typedef size_t(K8MAP_CDECL* FindNearestSymbolsFn)(const SymbolTable* table,
                                                  const uint32_t* addresses, size_t count,
                                                  uint32_t kinds, uint32_t max_offset,
                                                  const MapSymbol** symbols);
typedef size_t(K8MAP_CDECL* FindSymbolsByNameFn)(const SymbolTable* table, const char* name,
                                                 const MapSymbol** symbols, size_t capacity);
typedef int32_t(K8MAP_CDECL* GetMapLibraryVersionNumberFn)(void);
typedef size_t(K8MAP_CDECL* FindNearestSymbolIndicesFn)(const SymbolTable* table,
                                                        const uint32_t* addresses, size_t count,
                                                        uint32_t kinds, uint32_t max_offset,
                                                        uint32_t* indices, uint32_t* offsets);
typedef int(K8MAP_CDECL* GetKindByNameFn)(const char* name);
typedef uint32_t(K8MAP_CDECL* GetSymbolTableStatusFn)(const SymbolTable* table);
typedef const char*(K8MAP_CDECL* GetNoteLineFn)(const SymbolTable* table, size_t index,
                                                size_t* length);
#ifdef _WIN32
typedef int32_t(K8MAP_CDECL* ParseMapFileWFn)(SymbolTable* table, const wchar_t* path);
#endif

#ifdef __cplusplus
}
#endif

#endif /* KESTRUM8_MAP_H */
