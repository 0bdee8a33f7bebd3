// SPDX-License-Identifier: MIT
#include "scanner/line_reading.h"

#include <algorithm>

#include "scanner/line_readers.h"
#include "scanner/rule_matchers.h"

namespace k8map {

// Four tokens are always a name field's, a kind, a scope and a value: each field yields one.
bool LineReading::EntryTokens() const {
  return count == 4 && (Is(0, NAME) || Is(0, NAME_PART)) && !skipped;
}

bool LineReading::MiddlePiece() const {
  return count == 1 && (Is(0, NAME_PART) || Is(0, DIGIT_PART)) && !skipped &&
         line_end == ENTRY_LINE_END;
}

bool LineReading::LastPiece() const {
  return count == 1 && (Is(0, WORD) || Is(0, NAME)) && !skipped && line_end == ENTRY_LINE_END;
}

LineReading ReadMapLine(std::string_view line, bool has_end, std::string& scratch) {
  using namespace rules;
  // The line as the scanner's buffer holds it: its bytes, the line feed, the end marks and the
  // slack that word-wide runs may read.
  scratch.assign(line);
  if (has_end) scratch += '\n';
  std::size_t end = scratch.size();
  scratch.append(2 + kStorageSlack, '\0');
  const Byte* base = reinterpret_cast<const Byte*>(scratch.data());
  Window window{base + end, true, SearchWidthOf(BestLineReader())};

  LineReading reading;
  StartCondition condition = LINE_START;
  bool at_line_start = true;
  for (std::size_t at = 0; at < end;) {
    Match match = MatchToken(condition, at_line_start, base + at, window);
    auto length = static_cast<std::size_t>(match.length);
    if (length >= static_cast<std::size_t>(kTokenTextSize) && !reading.too_long) {
      reading.too_long = true;
      reading.too_long_at = at;
    }
    const RuleAction& action = kRuleActions[match.rule];
    if (match.rule == kRuleIndent) reading.name_field = true;
    if (action.next_condition == SKIP_LINE && condition != SKIP_LINE) {
      reading.skipped = true;
      reading.skipped_in = condition;
      reading.skip_at = at;
    }
    if (action.next_condition != kStay) {
      condition = static_cast<StartCondition>(action.next_condition);
    }
    if (action.token == LINE_END || action.token == ENTRY_LINE_END) {
      reading.line_end = action.token;
      break;
    }
    if (action.token != 0) {  // at most one a field: kMostTokens
      reading.tokens[reading.count] = {action.token, at, at + length};
      reading.count = std::min(reading.count + 1, LineReading::kMostTokens);
    }
    at_line_start = false;
    at += length;
  }
  return reading;
}

}  // namespace k8map
