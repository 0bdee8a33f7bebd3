// SPDX-License-Identifier: MIT
// NextToken: the rules' matches applied to the input, one token at a time.
#include "scanner/rule_matchers.h"

namespace k8map {
namespace {

using namespace rules;

void RunValueAction(Scanner& scanner, ValueAction action) {
  const char* text = scanner.token_text;
  int length = scanner.token_length;
  switch (action) {
    case ValueAction::kNone:
      return;
    case ValueAction::kText:
      return StoreText(scanner.value, text, length);
    case ValueAction::kTextWithoutMark:
      return StoreText(scanner.value, text, length - 1);
    case ValueAction::kHex:
      return StoreHexValue(scanner.value, text, length);
    case ValueAction::kHexWithoutSuffix:
      return StoreHexValue(scanner.value, text, length - 3);
  }
}

// A match whose rule returns no token: only its length limit and position matter, since no
// skipped text contains a line feed and nothing reads it. A blank is followed by as many
// further blank matches as there are blanks behind it; they are taken in one step.
inline void SkipMatch(Scanner& scanner, const Byte* p, Match match) {
  if (match.length >= kTokenTextSize) ScannerFatal(ScannerFault::kTokenTooLarge);
  int length = match.length;
  if (match.rule == kRuleBlank) length += Run(p + 1, kBlank, scanner.stream.search);
  scanner.token_start += length;
  scanner.buffer.at_line_start = false;
}

// A match whose rule returns a token: its text is kept, and a line end (the only token whose
// text holds a line feed, and then only that) counts a line.
inline void CaptureReturnedToken(Scanner& scanner, const Byte* p, int length, int token) {
  if (length >= kTokenTextSize) ScannerFatal(ScannerFault::kTokenTooLarge);
  ShortCopy(scanner.token_text, reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
  scanner.token_text[length] = '\0';
  scanner.token_length = length;
  scanner.token_start += length;
  bool line_end = token == LINE_END || token == ENTRY_LINE_END;
  scanner.line_counter += line_end ? 1 : 0;
  scanner.buffer.at_line_start = line_end;
}

// The end-of-buffer event: its text is the pending bytes and the end mark. Returns false when
// the input has ended.
bool HandleEndOfBuffer(Scanner& scanner) {
  if (scanner.buffer.status == BUFFER_NEW) scanner.buffer.status = BUFFER_NORMAL;
  int pending = scanner.buffer.count - scanner.token_start;
  CaptureToken(scanner, pending + 1, true);
  return FillBuffer(scanner) != FILL_END_OF_INPUT;
}

}  // namespace

int NextToken(Scanner& scanner) {
  for (;;) {
    const Byte* base = reinterpret_cast<const Byte*>(scanner.buffer.storage);
    const Byte* p = base + scanner.token_start;
    Window window{base + scanner.buffer.count, scanner.buffer.status == BUFFER_END_PENDING,
                  scanner.stream.search};
    Match match = (p == window.end)
                      ? kNeedMore
                      : MatchToken(scanner.condition, scanner.buffer.at_line_start, p, window);
    if (match.rule == kNoRule) {
      if (!HandleEndOfBuffer(scanner)) return END_OF_INPUT;
      continue;
    }
    const RuleAction& action = kRuleActions[match.rule];
    if (action.next_condition != kStay) {
      scanner.condition = static_cast<StartCondition>(action.next_condition);
    }
    if (action.token == 0) {
      SkipMatch(scanner, p, match);
      continue;
    }
    CaptureReturnedToken(scanner, p, match.length, action.token);
    RunValueAction(scanner, action.value);
    return action.token;
  }
}

}  // namespace k8map
