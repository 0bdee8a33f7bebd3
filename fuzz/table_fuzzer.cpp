// SPDX-License-Identifier: MIT
// Symbol tables from bytes in memory, with the invariants checked on every input: whole lines
// with every line reader (and, now and then, the helper thread) give exactly what token-by-token
// parsing gives,
// every field is well formed, the lookups find what the table holds, and the notes agree with
// the parse.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "api/symbol_table.h"
#include "fuzz_support.h"
#include "kestrum8_map.h"
#include "notes_invariant.h"
#include "scanner/line_readers.h"

namespace {

using k8map::fuzz::Check;

bool IsNameCharacter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// The outcome as text: result, message, and every field of every symbol.
std::string Parse(SymbolTable& table, const std::uint8_t* data, std::size_t size) {
  int result = ParseMapText(&table, reinterpret_cast<const char*>(data), size, "fuzz.map");
  std::string out = std::to_string(result) + GetSymbolTableError(&table);
  const MapSymbol* symbols = GetSymbols(&table);
  for (std::size_t i = 0; i < GetSymbolCount(&table); ++i) {
    const MapSymbol& s = symbols[i];
    out += std::string("|") + s.name + " " + std::to_string(s.value) + " " +
           std::to_string(s.line) + " " + std::to_string(s.kind) + s.scope + std::to_string(s.bit);
  }
  return out;
}

void CheckFields(const SymbolTable& table) {
  const MapSymbol* symbols = GetSymbols(&table);
  std::size_t count = GetSymbolCount(&table);
  for (std::size_t i = 0; i < count; ++i) {
    const MapSymbol& s = symbols[i];
    std::size_t length = std::strlen(s.name);
    Check(length >= 1 && length <= 255, "name of 1 to 255 bytes");
    for (std::size_t c = 0; c < length; ++c) {
      Check(IsNameCharacter(static_cast<unsigned char>(s.name[c])), "name of name characters");
    }
    Check(GetKindName(s.kind) != nullptr, "a kind of the seven");
    Check(s.scope == 'a' || s.scope == 'g' || s.scope == 's', "scope a, g or s");
    Check(s.bit >= -1 && s.bit <= 9, "bit -1 to 9");
    Check(s.line >= 1 && (i == 0 || s.line > symbols[i - 1].line), "lines ascend from 1");
    const MapSymbol* by_name = FindSymbolByName(&table, s.name);
    Check(by_name != nullptr && by_name <= &s && std::strcmp(by_name->name, s.name) == 0,
          "the first of a name is found");
    if (s.kind == K8MAP_KIND_ADDR || s.kind == K8MAP_KIND_LOC) {
      const MapSymbol* by_address = FindSymbolByAddress(&table, s.value);
      Check(by_address != nullptr && by_address <= &s && by_address->value == s.value,
            "the first of an address is found");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto fast = std::make_unique<SymbolTable>();
  static auto token_by_token = [] {
    auto table = std::make_unique<SymbolTable>();
    table->parse.line_shortcut = false;
    return table;
  }();
  static auto other = std::make_unique<SymbolTable>();
  static auto helped = [] {
    auto table = std::make_unique<SymbolTable>();
    table->parse.chunk_supply_threshold = 0;
    return table;
  }();
  k8map::FreeSymbols(fast->store);
  std::string expected = Parse(*fast, data, size);
  CheckFields(*fast);
  k8map::FreeSymbols(token_by_token->store);
  Check(Parse(*token_by_token, data, size) == expected, "same table token by token");
  // The wide reader from narrow windows (as on 32-bit processors), then the narrower readers.
  for (auto reader :
       {k8map::LineReader::kWide, k8map::LineReader::kWindow, k8map::LineReader::kSerial}) {
    if (!k8map::LineReaderAvailable(reader)) continue;
    other->parse.scanner.line_reader = reader;
    other->parse.scanner.narrow_windows = reader == k8map::LineReader::kWide;
    k8map::FreeSymbols(other->store);
    Check(Parse(*other, data, size) == expected, "same table with another line reader");
  }
  // The helper thread costs a thread start and megabytes of pages a parse: one input in
  // sixteen (by its size, so that a crash input repeats it) has one.
  static auto noted = [] {
    auto table = std::make_unique<SymbolTable>();
    SetSymbolTableFlags(table.get(), K8MAP_TABLE_NOTES);
    return table;
  }();
  k8map::FreeSymbols(noted->store);
  noted->notes = {};
  Check(Parse(*noted, data, size) == expected, "same table with notes");
  const char* broken = k8map::NotesInvariantBroken(
      std::string_view(reinterpret_cast<const char*>(data), size), noted.get());
  if (broken != nullptr) k8map::fuzz::Fail(broken);
  if (size % 16 == 0) {
    k8map::FreeSymbols(helped->store);
    Check(Parse(*helped, data, size) == expected, "same table with the chunk helper");
  }
  return 0;
}
