// SPDX-License-Identifier: MIT
// Token sequences written as text ("NAME(main) ADDRESS_KIND SCOPE HEX(1000) ENTRY_LINE_END"),
// fed to the engine, and record lists written as text ("main=0x1000 b=0x2").
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "api/library.h"
#include "grammar/engine.h"
#include "grammar/map_grammar.h"
#include "records/record_list.h"
#include "scanner/token_codes.h"

namespace k8map::test {

struct SeqToken {
  int code;
  std::string text;
  std::uint32_t number = 0;
  bool converted = true;
};

// Words: a token name, NAME(x) / NAME_PART(x) / DIGIT_PART(x) / WORD(x), HEX(1f) or HEX(?)
// for a value that did not convert, #N for the raw code N.
inline std::vector<SeqToken> ParseSequence(const std::string& text) {
  std::vector<SeqToken> tokens;
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    std::size_t open = word.find('(');
    std::string head = word.substr(0, open);
    std::string arg =
        open == std::string::npos ? "" : word.substr(open + 1, word.size() - open - 2);
    if (head[0] == '#') {
      tokens.push_back({std::stoi(head.substr(1)), ""});
    } else if (head == "HEX") {
      bool ok = arg != "?";
      tokens.push_back(
          {HEX_VALUE, "", ok ? static_cast<std::uint32_t>(std::stoul(arg, nullptr, 16)) : 0u, ok});
    } else {
      for (int code = kFirstTokenCode; code <= kLastTokenCode; ++code) {
        if (head == TokenName(code)) tokens.push_back({code, arg});
      }
    }
  }
  return tokens;
}

// A token source over a prepared sequence; the end of input follows the last token.
struct SequenceSource {
  std::vector<SeqToken> tokens;
  std::size_t next = 0;
  int end_reads = 0;
  const RecordList* records = nullptr;
  std::vector<int> counts_at_read;  // the record count each time a token was read

  int Next() {
    if (records != nullptr) counts_at_read.push_back(Count(*records));
    if (next < tokens.size()) return tokens[next++].code;
    ++end_reads;
    return END_OF_INPUT;
  }

  void Load(int terminal, SemanticValue& slot) const {
    if (terminal == kEndOfInput || next == 0) return;
    const SeqToken& t = tokens[next - 1];
    std::snprintf(slot.text, sizeof slot.text, "%s", t.text.c_str());
    slot.text_length = static_cast<int>(t.text.size());
    slot.number = t.number;
    slot.converted = t.converted;
  }
};

inline std::string DescribeRecords(const RecordList& list) {
  std::string out;
  for (const SymbolRecord* r = list.head; r != nullptr; r = r->next) {
    char value[16];
    std::snprintf(value, sizeof value, "0x%X", static_cast<unsigned>(r->value));
    out += (out.empty() ? "" : " ") + std::string(r->name) + "=" + value;
  }
  return out;
}

// Parses path with lib and describes the outcome: result, message on failure, records; the
// records are freed afterwards.
inline std::string ParseOutcome(Library& lib, const std::string& path) {
  int result = RunMapParse(lib, path.c_str());
  std::string out = std::to_string(result) + " " + (result != 0 ? lib.parse.error_message : "") +
                    " " + DescribeRecords(lib.records);
  FreeAll(lib.records);
  return out;
}

}  // namespace k8map::test
