// SPDX-License-Identifier: MIT
#include "maps.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <system_error>
#include <thread>

#include "messages.h"
#include "out_of_memory.h"
#include "wide_paths.h"

bool IsAddressKind(std::uint8_t kind) {
  return kind == K8MAP_KIND_ADDR || kind == K8MAP_KIND_LOC;
}

Maps::~Maps() {
  for (FileOutcome& f : files_) lib_.free_symbol_table(f.table);
}

namespace {

// The library's message for a failed file, on one line, with the system's reason when the file
// cannot be opened.
std::string FailureMessage(const MapLibrary& lib, const FileOutcome& f) {
  std::string message = OneLine(lib.get_symbol_table_error(f.table));
  if (lib.get_symbol_table_error_code(f.table) == K8MAP_ERROR_OPEN) {
    message += " (" + SystemReason(lib.get_symbol_table_error_system(f.table), f.path) + ")";
  }
  return message;
}

}  // namespace

bool ReadAll(std::FILE* file, std::string* text) {
  char block[1 << 16];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) text->append(block, got);
  return std::ferror(file) == 0;
}

bool ReadStandardInput(std::string* text) {
  return ReadAll(stdin, text);
}

bool StandardInputOnce(const std::vector<std::string>& paths, std::string* error) {
  if (std::count(paths.begin(), paths.end(), kStandardInput) < 2) return true;
  *error = "standard input (-) can be read once only";
  return false;
}

std::string Maps::Unread() const {
  std::string names;
  std::size_t count = 0;
  for (const FileOutcome& f : files_) {
    if (f.ok) continue;
    names += (count == 0 ? "" : ", ") + ShowPath(f.path);
    ++count;
  }
  return names + (count == 1 ? " was" : " were") + " not read completely";
}

bool Maps::Load(const std::vector<std::string>& paths, bool at_once, bool count_addresses) {
  std::size_t first = files_.size();
  std::string input;  // standard input's map, when one is "-"
  bool input_read = true;
  for (const std::string& path : paths) {
    FileOutcome outcome;
    outcome.path = path == kStandardInput ? kStandardInputName : path;
    outcome.standard_input = path == kStandardInput;
    if (outcome.standard_input) input_read = ReadStandardInput(&input);
    outcome.table = lib_.create_symbol_table();
    if (outcome.table == nullptr) OutOfMemory();
    files_.push_back(outcome);
  }
  // Each file's address symbols are counted on its thread too (in end, for now).
  auto parse = [this, &input, count_addresses](FileOutcome& f) {
#ifdef _WIN32
    auto parse_file = [this](FileOutcome& g) {
      return lib_.parse_map_file_w(g.table, Widen(g.path).c_str());
    };
#else
    auto parse_file = [this](FileOutcome& g) {
      return lib_.parse_map_file(g.table, g.path.c_str());
    };
#endif
    f.ok = f.standard_input
               ? lib_.parse_map_text(f.table, input.data(), input.size(), kStandardInputName) == 0
               : parse_file(f) == 0;
    if (!count_addresses) return;
    const MapSymbol* symbols = lib_.get_symbols(f.table);
    std::size_t n = lib_.get_symbol_count(f.table);
    for (std::size_t s = 0; s < n; ++s) f.end += IsAddressKind(symbols[s].kind) ? 1 : 0;
  };
  if (!input_read) {
    Say("error reading standard input");
    return false;
  }
  std::vector<std::thread> threads;
  for (std::size_t i = first; i < files_.size(); ++i) {
    if (at_once && i + 1 < files_.size()) {
      try {
        threads.emplace_back(parse, std::ref(files_[i]));
        continue;
      } catch (const std::system_error&) {  // no thread: parsed here
      }
    }
    parse(files_[i]);
  }
  for (std::thread& thread : threads) thread.join();
  bool ok = true;
  std::int64_t end = first > 0 ? files_[first - 1].end : 0;
  for (std::size_t i = first; i < files_.size(); ++i) {
    FileOutcome& f = files_[i];
    f.first = end;
    end += f.end;
    f.end = end;
    std::size_t n = lib_.get_symbol_count(f.table);
    if (!f.ok) {
      ok = false;
      Say(FailureMessage(lib_, f));
    } else if (n == 0) {
      Say(ShowPath(f.path) + ": no symbols");
    }
  }
  records_made_ = false;
  return ok;
}

const RecordList& Maps::records() {
  if (records_made_) return records_;
  records_.clear();
  records_.reserve(static_cast<std::size_t>(count()));
  for (std::uint32_t file = 0; file < files_.size(); ++file) {
    const MapSymbol* s = symbols(file);
    for (std::size_t i = 0, n = symbol_count(file); i < n; ++i) {
      if (IsAddressKind(s[i].kind)) records_.push_back({s[i].name, s[i].value, file});
    }
  }
  records_made_ = true;
  return records_;
}

const MapSymbol* Maps::Find(std::uint32_t address, std::uint32_t max_offset, unsigned kinds,
                            std::uint32_t* file) const {
  const MapSymbol* best = nullptr;
  for (std::uint32_t f = 0; f < files_.size(); ++f) {
    const MapSymbol* found = lib_.find_nearest_symbol(files_[f].table, address, kinds, max_offset);
    if (found != nullptr && (best == nullptr || found->value > best->value)) {
      best = found;
      if (file != nullptr) *file = f;
    }
  }
  return best;
}

namespace {

int OffsetDigits(std::uint32_t offset) {
  int digits = 1;
  while (digits < 8 && (offset >> (4 * digits)) != 0) ++digits;
  return digits;
}

}  // namespace

std::string SymbolAt(const char* name, std::uint32_t value, std::uint32_t address) {
  std::size_t length = std::strlen(name);
  std::string text(SymbolAtSize(length, value, address), '\0');
  WriteSymbolAt(text.data(), name, length, value, address);
  return text;
}

std::size_t SymbolAtSize(std::size_t name_length, std::uint32_t value, std::uint32_t address) {
  std::uint32_t offset = address - value;
  return name_length + (offset == 0 ? 0 : 3 + static_cast<std::size_t>(OffsetDigits(offset)));
}

char* WriteSymbolAt(char* at, const char* name, std::size_t name_length, std::uint32_t value,
                    std::uint32_t address) {
  std::memcpy(at, name, name_length);
  at += name_length;
  std::uint32_t offset = address - value;
  if (offset == 0) return at;
  *at++ = '+';
  *at++ = '0';
  *at++ = 'x';
  for (int i = OffsetDigits(offset) - 1; i >= 0; --i) {
    *at++ = "0123456789ABCDEF"[(offset >> (4 * i)) & 0xF];
  }
  return at;
}

void PutSymbolAt(Output& out, const char* name, std::uint32_t value, std::uint32_t address) {
  std::size_t length = std::strlen(name);
  WriteSymbolAt(out.Reserve(SymbolAtSize(length, value, address)), name, length, value, address);
}
