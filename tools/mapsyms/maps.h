// Map files parsed through the library for the commands: what happened to each file, the
// records with the file they came from, and an index for address lookups.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "large_pages.h"
#include "library_loader.h"
#include "output.h"

struct Record {
  const char* name;  // the library's copy, valid while the Maps live
  std::uint32_t value;
  std::uint32_t file;  // index in Maps::files()
};

// Records of large maps run to millions: kept where lookups into them are cheapest.
using RecordList = LargeVector<Record>;

struct FileOutcome {
  std::string path;
  bool ok = false;
  std::int32_t first = 0;  // the file's records are [first, end) in the list
  std::int32_t end = 0;
};

class Maps {
 public:
  explicit Maps(const MapLibrary& lib) : lib_(lib) {}
  ~Maps() { lib_.free_all_records(); }
  Maps(const Maps&) = delete;
  Maps& operator=(const Maps&) = delete;

  // Parses the files in order, each one whatever happened to those before. Each failure is
  // said on standard error: "mapsyms: " and the library's message (with the system's reason
  // when the file cannot be opened). Returns false when any file failed.
  bool Load(const std::vector<std::string>& paths);

  const std::vector<FileOutcome>& files() const { return files_; }
  bool all_ok() const;
  const SymbolRecord* head() const { return lib_.get_record_top(); }
  std::int32_t count() const { return lib_.get_record_count(); }
  // Every record in list order (made on first use).
  const RecordList& records();

 private:
  const MapLibrary& lib_;
  std::vector<FileOutcome> files_;
  RecordList records_;
  bool records_made_ = false;
};

// A symbol that an address falls in: the record's name (and its length) and value.
struct Symbol {
  const char* name;
  std::uint32_t length;
  std::uint32_t value;
};

// The records sorted by value for lookups. Of records with equal values only the first in file
// order is kept (it is the answer for all of them); the one at or nearest below an address is
// found through a table of where each 64 KiB of the address space starts and a binary search
// within that part.
class AddressIndex {
 public:
  // Indexes symbols given in file order.
  explicit AddressIndex(LargeVector<Symbol> symbols);

  // The symbol at or nearest below address, within max_offset of it; null when none is.
  const Symbol* Find(std::uint32_t address, std::uint32_t max_offset = 0xFFFFFFFFu) const;
  // Ask the processor to fetch what Find(address) will read, ahead of the call: the table
  // entry of the address's part first, then (reading that entry) the part's values.
  void PrefetchPart(std::uint32_t address) const;
  void Prefetch(std::uint32_t address) const;

 private:
  LargeVector<std::uint32_t> values_;        // sorted, distinct
  LargeVector<Symbol> symbols_;              // in the same order
  std::vector<std::uint32_t> bucket_start_;  // first index with value >= bucket << 16
};

// The symbols of the records for which keep[i] holds (all, with an empty keep), in file order.
LargeVector<Symbol> SymbolsOf(const RecordList& records, const std::vector<bool>& keep = {});
// The symbols of every record in the library's list, in file order.
LargeVector<Symbol> SymbolsOf(const SymbolRecord* head, std::int32_t count);

// "name" or "name+0xOFFSET" for address within symbol.
std::string SymbolAt(const Symbol& symbol, std::uint32_t address);
// Its length, and the same written at `at` (returning its end) or into out.
std::size_t SymbolAtSize(const Symbol& symbol, std::uint32_t address);
char* WriteSymbolAt(char* at, const Symbol& symbol, std::uint32_t address);
void PutSymbolAt(Output& out, const Symbol& symbol, std::uint32_t address);
