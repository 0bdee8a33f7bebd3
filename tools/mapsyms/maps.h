// SPDX-License-Identifier: MIT
// Map files parsed through the library for the commands, one symbol table per file: what
// happened to each file, its symbols, the address symbols of all files with the file each came
// from, and lookups by address.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "library_loader.h"
#include "output.h"

// An address symbol (Addr. or loc.) of one of the files.
struct Record {
  const char* name;  // the library's copy, valid while the Maps live
  std::uint32_t value;
  std::uint32_t file;  // index in Maps::files()
};

using RecordList = std::vector<Record>;

// A map operand "-" is read from standard input, and goes by this name in messages and output.
constexpr const char* kStandardInput = "-";
constexpr const char* kStandardInputName = "<stdin>";

// The rest of file, appended to *text as bytes; false on a read error.
bool ReadAll(std::FILE* file, std::string* text);
// The whole of standard input, read as bytes; false on a read error.
bool ReadStandardInput(std::string* text);
// False, with the reason in *error, when standard input is named more than once among paths:
// it can be read once only.
bool StandardInputOnce(const std::vector<std::string>& paths, std::string* error);

struct FileOutcome {
  std::string path;  // as given, or kStandardInputName
  bool standard_input = false;
  bool ok = false;
  SymbolTable* table = nullptr;  // the file's symbols, every kind
  std::int64_t first = 0;        // the file's address symbols are [first, end) in the records
  std::int64_t end = 0;
};

bool IsAddressKind(std::uint8_t kind);

class Maps {
 public:
  explicit Maps(const MapLibrary& lib) : lib_(lib) {}
  ~Maps();
  Maps(const Maps&) = delete;
  Maps& operator=(const Maps&) = delete;

  // Parses each file into a table of its own, in order, each one whatever happened to those
  // before ("-" is standard input); with at_once, every file on a thread of its own. Each
  // failure is said on standard error: "mapsyms: " and the library's message on one line (with
  // the system's reason when the file cannot be opened), and so is a map without symbols
  // ("mapsyms: FILE: no symbols"). Returns false when any file failed. With count_addresses
  // false, the files' address symbols are not counted: their first and end, count() and
  // records() are for the commands that count them.
  bool Load(const std::vector<std::string>& paths, bool at_once = false,
            bool count_addresses = true);
  // The files that failed, as a sentence's subject and verb: "a.map was not read completely".
  std::string Unread() const;

  const std::vector<FileOutcome>& files() const { return files_; }
  // The symbols of a file's table, every kind, in file order.
  const MapSymbol* symbols(std::size_t file) const { return lib_.get_symbols(files_[file].table); }
  std::size_t symbol_count(std::size_t file) const {
    return lib_.get_symbol_count(files_[file].table);
  }
  // The address symbols of every file.
  std::int64_t count() const { return files_.empty() ? 0 : files_.back().end; }
  // Every address symbol in file order (made on first use).
  const RecordList& records();

  // Of every file's symbols of the kinds (K8MAP_KIND_MASK bits), the one at or nearest below
  // address (the first in file order among equal values), within max_offset of it; null when
  // none is. *file is its file.
  const MapSymbol* Find(std::uint32_t address, std::uint32_t max_offset, unsigned kinds,
                        std::uint32_t* file = nullptr) const;

 private:
  const MapLibrary& lib_;
  std::vector<FileOutcome> files_;
  RecordList records_;
  bool records_made_ = false;
};

// "name" or "name+0xOFFSET" for address within the symbol at value.
std::string SymbolAt(const char* name, std::uint32_t value, std::uint32_t address);
// Its length, and the same written at `at` (returning its end) or into out.
std::size_t SymbolAtSize(std::size_t name_length, std::uint32_t value, std::uint32_t address);
char* WriteSymbolAt(char* at, const char* name, std::size_t name_length, std::uint32_t value,
                    std::uint32_t address);
void PutSymbolAt(Output& out, const char* name, std::uint32_t value, std::uint32_t address);
