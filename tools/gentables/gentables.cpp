// SPDX-License-Identifier: MIT
// Writes the map grammar's LALR(1) tables as C++ source, or a readable listing of the states.
//   gentables OUTPUT.inc     write the tables file
//   gentables --listing      print the states, their items, actions, defaults and gotos
// Exits 1 when the grammar has conflicts.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "lalr_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gentables OUTPUT.inc | --listing\n");
    return 2;
  }
  k8map::GrammarInput grammar = k8map::MapGrammarInput();
  k8map::BuiltTables tables = k8map::BuildLalrTables(grammar);
  if (std::strcmp(argv[1], "--listing") == 0) {
    std::cout << k8map::FormatListing(grammar, tables);
  } else {
    std::ofstream out(argv[1], std::ios::binary);
    out << k8map::FormatTablesSource(tables);
    if (!out) {
      std::fprintf(stderr, "gentables: cannot write %s\n", argv[1]);
      return 1;
    }
  }
  for (const std::string& conflict : tables.conflicts) {
    std::fprintf(stderr, "gentables: conflict: %s\n", conflict.c_str());
  }
  return tables.conflicts.empty() ? 0 : 1;
}
