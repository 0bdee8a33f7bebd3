// SPDX-License-Identifier: MIT
/* Prints the version, then the count and records of the map file named on the command line. */
#include <stdio.h>

#include "kestrum8_map.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  printf("%s\n", GetMapDllVersion());
  if (MapParse(argv[1]) != K8MAP_OK) {
    fputs(GetErrorMessage(), stderr);
    return 1;
  }
  printf("%d records\n", (int)GetRecordCount());
  for (const SymbolRecord* r = GetRecordTop(); r != NULL; r = r->next) {
    printf("0x%08X\t%s\n", (unsigned)r->value, r->name);
  }
  FreeAllRecords();
  return 0;
}
