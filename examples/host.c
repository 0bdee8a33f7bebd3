// SPDX-License-Identifier: MIT
/* A minimal host in C: links the library (the import library on Windows), parses the map files
   named on the command line and prints their records; then reads the same files into a symbol
   table, which holds every kind of symbol, and looks one address up. */
#include <stdio.h>

#include "kestrum8_map.h"

int main(int argc, char** argv) {
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    if (MapParse(argv[i]) != K8MAP_OK) {
      fputs(GetErrorMessage(), stderr);
      status = 1;
    }
  }
  uint32_t value;
  const char* name;
  for (int r = GetFirstRecord(&value, &name); r == K8MAP_RECORD; r = GetNextRecord(&value, &name)) {
    printf("0x%08X\t%s\n", (unsigned)value, name);
  }
  printf("%d records\n", (int)GetRecordCount());
  FreeAllRecords();

  SymbolTable* table = CreateSymbolTable();
  if (table == NULL) return 1;
  for (int i = 1; i < argc; ++i) {
    if (ParseMapFile(table, argv[i]) != K8MAP_OK) fputs(GetSymbolTableError(table), stderr);
  }
  printf("%u symbols of every kind\n", (unsigned)GetSymbolCount(table));
  const MapSymbol* at = FindSymbolByAddress(table, 0x1062);
  if (at != NULL) printf("0x1062 is %s+0x%X\n", at->name, (unsigned)(0x1062 - at->value));
  FreeSymbolTable(table);
  return status;
}
