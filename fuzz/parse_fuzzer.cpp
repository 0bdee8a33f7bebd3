// SPDX-License-Identifier: MIT
// The whole parse through the exported functions: bytes, a file, MapParse, both walks,
// FreeAllRecords, with the library's invariants checked on every input.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "api/library.h"
#include "fuzz_support.h"
#include "kestrum8_map.h"
#include "scanner/line_readers.h"

namespace {

using k8map::fuzz::Check;

struct Outcome {
  int result;
  std::string message;
  std::vector<std::pair<std::string, std::uint32_t>> records;
};

bool IsNameCharacter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

Outcome ParseOnce(const std::string& path) {
  Outcome out;
  out.result = MapParse(path.c_str());
  Check(out.result == 0 || out.result == -1, "result is 0 or -1");
  out.message = GetErrorMessage();
  if (out.result == -1) {
    Check(!out.message.empty() && out.message.size() <= 255, "message of 1 to 255 characters");
    Check(out.message.back() == '\n', "message ends with a line feed");
  }
  std::uint32_t value = 0;
  const char* name = nullptr;
  for (int r = GetFirstRecord(&value, &name); r == 0; r = GetNextRecord(&value, &name)) {
    std::size_t length = std::strlen(name);
    Check(length >= 1 && length <= 255, "name of 1 to 255 bytes");
    for (std::size_t i = 0; i < length; ++i) {
      Check(IsNameCharacter(static_cast<unsigned char>(name[i])), "name of name characters");
    }
    out.records.emplace_back(name, value);
  }
  int chained = 0;
  for (const SymbolRecord* r = GetRecordTop(); r != nullptr; r = r->next) {
    Check(chained < static_cast<int>(out.records.size()), "chain no longer than the iteration");
    Check(out.records[chained].first == r->name && out.records[chained].second == r->value,
          "chain and iteration agree");
    ++chained;
  }
  Check(chained == static_cast<int>(out.records.size()), "chain as long as the iteration");
  Check(GetRecordCount() == chained, "count equals both walks");
  return out;
}

// The parse through the exports (whole lines with the fastest reader here, no helper threads
// for a small file) must equal the same parse in other ways: token by token, and with the
// portable whole-line reader while a helper thread readies arena chunks.
void CheckSameAs(k8map::Library& lib, const std::string& path, const Outcome& expected,
                 const char* how) {
  int result = k8map::RunMapParse(lib, path.c_str());
  Check(result == expected.result, how);
  Check(result == 0 || expected.message == lib.parse.error_message, how);
  std::vector<std::pair<std::string, std::uint32_t>> records;
  for (const SymbolRecord* r = k8map::Head(lib.records); r != nullptr; r = r->next) {
    records.emplace_back(r->name, r->value);
  }
  Check(records == expected.records, how);
  k8map::FreeAll(lib.records);
}

void CheckOtherWays(const std::string& path, const Outcome& expected) {
  static k8map::Library token_by_token;
  token_by_token.parse.line_shortcut = false;
  CheckSameAs(token_by_token, path, expected, "same outcome token by token");
  // Every other line reader this processor runs, with the chunk supply.
  static k8map::Library other;
  other.parse.chunk_supply_threshold = 0;
  // The wide reader from narrow windows (as on 32-bit processors), then the narrower readers.
  for (auto reader :
       {k8map::LineReader::kWide, k8map::LineReader::kWindow, k8map::LineReader::kSerial}) {
    if (!k8map::LineReaderAvailable(reader)) continue;
    other.parse.scanner.line_reader = reader;
    other.parse.scanner.narrow_windows = reader == k8map::LineReader::kWide;
    CheckSameAs(other, path, expected,
                "same outcome with another line reader and the chunk supply");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  k8map::fuzz::WriteInput(data, size);
  const std::string& path = k8map::fuzz::InputPath();
  FreeAllRecords();
  Outcome first = ParseOnce(path);
  FreeAllRecords();
  Check(GetRecordCount() == 0 && GetRecordTop() == nullptr, "FreeAllRecords empties the list");
  Outcome second = ParseOnce(path);
  Check(first.result == second.result, "same result twice");
  Check(first.result == 0 || first.message == second.message, "same message twice");
  Check(first.records == second.records, "same records twice");
  FreeAllRecords();
  Check(GetRecordCount() == 0, "count 0 after FreeAllRecords");
  CheckOtherWays(path, first);
  return 0;
}
