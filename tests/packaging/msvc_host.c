// SPDX-License-Identifier: MIT
/* A host built as MSVC builds C for 32-bit Windows: compiled by clang in MSVC mode and linked by
   lld-link with /SAFESEH against kestrum8_map.lib. It needs no C runtime, only kernel32: it
   prints the library's version, the records of the map file named on its command line and their
   count, through WriteFile; then its symbols in a symbol table, their count and one address
   looked up. The stdcall functions are called in a loop, and the symbol-table functions (all
   cdecl) once per symbol, so a wrong calling convention in the import library would unbalance
   the stack and crash it. */
#include "kestrum8_map.h"

typedef void* HANDLE;
__declspec(dllimport) HANDLE __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(HANDLE file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) char* __stdcall GetCommandLineA(void);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int status);

#define STD_OUTPUT_HANDLE ((unsigned long)-11)

static void Put(const char* text) {
  unsigned long length = 0, written = 0;
  while (text[length] != '\0') ++length;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, length, &written, 0);
}

static void PutHex8(uint32_t value) {
  char text[11] = "0x";
  for (int i = 0; i < 8; ++i) text[2 + i] = "0123456789ABCDEF"[(value >> (28 - 4 * i)) & 15];
  text[10] = '\0';
  Put(text);
}

static void PutDecimal(uint32_t value) {
  char text[12];
  int at = 11;
  text[at] = '\0';
  do {
    text[--at] = (char)('0' + value % 10);
    value /= 10;
  } while (value != 0);
  Put(text + at);
}

/* The first argument of the command line (program name skipped, quotes removed). */
static const char* FirstArgument(char* line) {
  char* at = line;
  if (*at == '"') {
    for (++at; *at != '\0' && *at != '"'; ++at) {
    }
    if (*at == '"') ++at;
  } else {
    while (*at != '\0' && *at != ' ' && *at != '\t') ++at;
  }
  while (*at == ' ' || *at == '\t') ++at;
  if (*at == '"') {
    char* end = ++at;
    while (*end != '\0' && *end != '"') ++end;
    *end = '\0';
  }
  return at;
}

void HostMain(void) {
  const char* path = FirstArgument(GetCommandLineA());
  Put(GetMapDllVersion());
  Put("\n");
  if (MapParse(path) != K8MAP_OK) {
    Put(GetErrorMessage());
    ExitProcess(1);
  }
  uint32_t value;
  const char* name;
  for (int32_t r = GetFirstRecord(&value, &name); r == K8MAP_RECORD;
       r = GetNextRecord(&value, &name)) {
    PutHex8(value);
    Put("\t");
    Put(name);
    Put("\n");
  }
  PutDecimal((uint32_t)GetRecordCount());
  Put(" records\n");
  FreeAllRecords();

  SymbolTable* table = CreateSymbolTable();
  if (table == 0 || ParseMapFile(table, path) != K8MAP_OK) ExitProcess(1);
  uint32_t found = 0;
  for (size_t i = 0; i < GetSymbolCount(table); ++i) {
    const MapSymbol* symbol = GetSymbols(table) + i;
    found += FindSymbolByName(table, symbol->name) == symbol ? 1 : 0;
  }
  PutDecimal(found);
  Put(" symbols found by name; 0x1062 is ");
  Put(FindSymbolByAddress(table, 0x1062)->name);
  Put("\n");
  FreeSymbolTable(table);
  ExitProcess(0);
}
