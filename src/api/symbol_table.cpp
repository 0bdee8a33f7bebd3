// SPDX-License-Identifier: MIT
#include "api/symbol_table.h"

#include "api/error_message.h"

namespace k8map {

int ParseIntoTable(SymbolTable& table, const MapInput& input) {
  table.indexes.Reset();  // the symbols are about to change
  table.error_message[0] = '\0';
  ParseParts parts{table.scanner,
                   table.grammar,
                   table.stacks,
                   table.error_message,
                   table.failure,
                   table.line_shortcut,
                   table.chunk_supply_threshold};
  if ((table.flags & K8MAP_TABLE_NOTES) != 0) parts.notes = &table.notes;
  return RunParse(parts, table.store, input);
}

int ParseFailedForMemory(SymbolTable& table) {
  if (table.error_message[0] == '\0') {
    ErrorMessage(table.error_message, kErrorMessageSize).Text("out of memory").Finish();
  }
  if (table.failure.code == K8MAP_ERROR_NONE) table.failure.code = K8MAP_ERROR_MEMORY;
  return -1;
}

}  // namespace k8map
