// SPDX-License-Identifier: MIT
// Whole lines at once: the line loop, and the one place that chooses a line reader.
#include "scanner/whole_lines.h"

#include "common/x86_features.h"
#include "scanner/byte_search.h"
#include "scanner/line_readers.h"

namespace k8map {
namespace {

using namespace lines;

// The shape of a whole line: not taken, a line whose only token is LINE_END, or a symbol line
// of NAME, a kind, SCOPE, HEX_VALUE and ENTRY_LINE_END.
enum class LineShape { kNotTaken, kIgnoredLine, kSymbolLine };

// A symbol line read from p by the chosen reader (the wide reader reads single lines with the
// window reader: it takes only the plainest lines itself).
SymbolLine ReadSymbolLine(LineReader reader, const Byte* p, const Byte* end) {
  if (reader == LineReader::kSerial) return ReadSymbolLineSerially(p, SearchWidth::kByte);
  return ReadSymbolLineInWindow(p, end);
}

// The tokens of a line complete in the buffer, through the rules; the shape when they are
// exactly LINE_END, or NAME, a kind, SCOPE, HEX_VALUE and ENTRY_LINE_END.
LineShape ScanLineTokens(const Byte* p, const Byte* line_feed, const Window& window,
                         SymbolLine* line) {
  StartCondition condition = LINE_START;
  bool at_line_start = true;
  int tokens[5];
  int count = 0;
  for (const Byte* q = p; q <= line_feed;) {
    Match match = MatchToken(condition, at_line_start, q, window);
    const RuleAction& action = kRuleActions[match.rule];
    if (action.next_condition != kStay) {
      condition = static_cast<StartCondition>(action.next_condition);
    }
    at_line_start = false;
    if (action.token == 0) {
      q += match.rule == kRuleBlank ? 1 + Run(q + 1, kBlank, window.width) : match.length;
      continue;
    }
    if (count == 5) return LineShape::kNotTaken;
    tokens[count++] = action.token;
    if (action.token == NAME) line->name = q, line->name_length = match.length;
    if (action.token == ADDRESS_KIND) line->address = true;
    if (action.token == ADDRESS_KIND || action.token == SYMBOL_KIND) {
      line->kind = KindOfRule(match.rule);
    }
    if (action.token == SCOPE) line->scope = static_cast<char>(*q);
    if (action.token == HEX_VALUE) {
      line->value = q;
      line->value_length = match.rule == kRuleHexBit ? match.length - 3 : match.length;
    }
    q += match.length;
  }
  if (count == 1 && tokens[0] == LINE_END) return LineShape::kIgnoredLine;
  bool symbol_line = count == 5 && tokens[0] == NAME && tokens[2] == SCOPE &&
                     tokens[3] == HEX_VALUE && tokens[4] == ENTRY_LINE_END;
  return symbol_line ? LineShape::kSymbolLine : LineShape::kNotTaken;
}

// Plain lines by the wide reader, from narrow windows or not, as all_kinds asks.
const Byte* TakePlainLinesAs(bool narrow, bool all_kinds, const Byte* p, const Byte* end,
                             TakenSymbol* symbols, int capacity, int* count, int* line_number,
                             int* taken) {
  if (narrow) {
    return all_kinds
               ? TakePlainLines<true, true>(p, end, symbols, capacity, count, line_number, taken)
               : TakePlainLines<false, true>(p, end, symbols, capacity, count, line_number, taken);
  }
  return all_kinds
             ? TakePlainLines<true, false>(p, end, symbols, capacity, count, line_number, taken)
             : TakePlainLines<false, false>(p, end, symbols, capacity, count, line_number, taken);
}

// Leaves the scanner where NextToken leaves it after the last line feed of taken lines, with
// p the start of the next line.
void LeaveAfterLines(Scanner& scanner, const Byte* p, int lines) {
  scanner.token_text[0] = '\n';
  scanner.token_text[1] = '\0';
  scanner.token_length = 1;
  scanner.token_start = static_cast<int>(p - reinterpret_cast<const Byte*>(scanner.buffer.storage));
  scanner.line_counter += lines;
  scanner.buffer.at_line_start = true;
  scanner.condition = LINE_START;
}

}  // namespace

bool LineReaderAvailable(LineReader reader) {
  switch (reader) {
    case LineReader::kSerial:
      return true;
    case LineReader::kWindow:
      return CpuHasSse2();
    case LineReader::kWide:
      return CpuHasAvx2();
  }
  return false;
}

LineReader BestLineReader() {
  static const LineReader best = LineReaderAvailable(LineReader::kWide)     ? LineReader::kWide
                                 : LineReaderAvailable(LineReader::kWindow) ? LineReader::kWindow
                                                                            : LineReader::kSerial;
  return best;
}

// Takes whole lines, one after another, while each lies complete in the buffer and its tokens
// are exactly LINE_END (any line that does not begin with a space, among others), or NAME, a
// kind, SCOPE, HEX_VALUE and ENTRY_LINE_END; then a continued entry where they stop at one. The
// scanner is then where NextToken leaves it after the last taken line's last token: its text, the
// line counter, the condition.
int ScanWholeLines(Scanner& scanner, TakenSymbol* symbols, int capacity, int* symbol_count,
                   TakenEntry* entry, bool all_kinds) {
  *symbol_count = 0;
  entry->lines = 0;
  if (scanner.condition != LINE_START || !scanner.buffer.at_line_start) return 0;
  const Byte* base = reinterpret_cast<const Byte*>(scanner.buffer.storage);
  const Byte* end = base + scanner.buffer.count;
  const Byte* p = base + scanner.token_start;
  int line_number = 0;  // from the first line taken
  int taken = 0;
  while (*symbol_count < capacity) {
    if (TakesRuns(scanner.line_reader)) {
      p = TakePlainLinesAs(scanner.narrow_windows, all_kinds, p, end, symbols, capacity,
                           symbol_count, &line_number, &taken);
      if (*symbol_count == capacity) break;
      // A continued entry, read whole; one whose head line is plain and the rest not is left
      // to the tokens (nothing below would take its first line, and trying costs a token-by-
      // token scan of it).
      const Byte* after = nullptr;
      int lines =
          ReadContinuedEntry(p, end, line_number, entry->joined, &entry->record, &after, all_kinds);
      if (lines > 0) {
        entry->lines = lines;
        p = after;
        line_number += lines;
        taken += lines;
      }
      if (lines != 0) break;
    }
    SymbolLine line = ReadSymbolLine(scanner.line_reader, p, end);
    const Byte* line_feed = line.line_feed;
    bool symbol_line = line_feed != nullptr;
    if (!symbol_line) {
      line_feed = reinterpret_cast<const Byte*>(FindByte(SearchWidthOf(scanner.line_reader),
                                                         reinterpret_cast<const char*>(p),
                                                         static_cast<std::size_t>(end - p), '\n'));
      if (line_feed == nullptr || line_feed - p >= kTokenTextSize) break;
      if (*p == ' ') {  // a line that does not begin with a space yields LINE_END alone
        line = SymbolLine{};
        Window window{end, scanner.buffer.status == BUFFER_END_PENDING, scanner.stream.search};
        LineShape shape = ScanLineTokens(p, line_feed, window, &line);
        if (shape == LineShape::kNotTaken) break;
        symbol_line = shape == LineShape::kSymbolLine;
      }
    }
    // Every token of a line shorter than the limit is within the limit.
    if (line_feed - p >= kTokenTextSize) break;
    if (symbol_line) {
      // The slot is filled for every symbol line and kept for an address kind (for any kind
      // with all_kinds): which kind a line has varies too much to branch on.
      TakenSymbol& symbol = symbols[*symbol_count];
      symbol.name = reinterpret_cast<const char*>(line.name);
      symbol.name_length =
          line.name_length < kTokenValueSize - 1 ? line.name_length : kTokenValueSize - 1;
      int digits = line.value_length - 2;  // the value is "0x" and hexadecimal digits
      symbol.converted = digits <= 8;
      symbol.number =
          HexDigitsValue(reinterpret_cast<const char*>(line.value) + 2, digits <= 8 ? digits : 8);
      symbol.line = line_number;
      symbol.kind = line.kind;
      symbol.scope = line.scope;
      symbol.bit = BitOfSuffix(line.value + line.value_length);
      *symbol_count += (line.address || all_kinds) ? 1 : 0;
    }
    p = line_feed + 1;
    ++line_number;
    ++taken;
  }
  if (taken > 0) LeaveAfterLines(scanner, p, taken);
  return taken;
}

}  // namespace k8map
