// SPDX-License-Identifier: MIT
#include "api/symbol_table.h"

#include "api/error_message.h"

namespace k8map {

int ParseIntoTable(SymbolTable& table, const MapInput& input) {
  table.indexes.Reset();  // the symbols are about to change
  table.parse.error_message[0] = '\0';
  bool notes = (table.flags & K8MAP_TABLE_NOTES) != 0;
  return RunParse(table.parse, table.store, input, notes ? &table.notes : nullptr);
}

int ParseFailedForMemory(SymbolTable& table) {
  if (table.parse.error_message[0] == '\0') {
    ErrorMessage(table.parse.error_message, kErrorMessageSize).Text("out of memory").Finish();
  }
  if (table.parse.failure.code == K8MAP_ERROR_NONE) table.parse.failure.code = K8MAP_ERROR_MEMORY;
  return -1;
}

}  // namespace k8map
