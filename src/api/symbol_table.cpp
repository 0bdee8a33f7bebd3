// SPDX-License-Identifier: MIT
#include "api/symbol_table.h"

namespace k8map {

int ParseIntoTable(SymbolTable& table, const MapInput& input) {
  table.indexes.Reset();  // the symbols are about to change
  table.error_message[0] = '\0';
  ParseParts parts{table.scanner,       table.grammar,       table.stacks,
                   table.error_message, table.line_shortcut, table.chunk_supply_threshold};
  return RunParse(parts, table.store, input);
}

}  // namespace k8map
