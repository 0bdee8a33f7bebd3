// SPDX-License-Identifier: MIT
// The map-file grammar, written once as data in rule order: left side, right side, action.
// The parse tables are derived from this data by tools/gentables; the rule actions run from it.
#pragma once

#include <array>
#include <cstdint>

#include "scanner/token_codes.h"

namespace k8map {

// Grammar symbols. Terminals first: the end of input, a token code that matches no terminal,
// then the tokens in the order of their codes.
enum GrammarSymbol : std::uint8_t {
  kEndOfInput,
  kUndefinedToken,
#define K8MAP_TOKEN_TERMINAL(code, terminal) terminal,
  K8MAP_TOKENS(K8MAP_TOKEN_TERMINAL)
#undef K8MAP_TOKEN_TERMINAL
  // Nonterminals.
  map_file,
  entry_list,
  entry,
  continued_entry,
  address_head,
  symbol_head,
  middle_pieces,
  last_piece,
  ignored_line,
  name_text,
  digit_part_text,
  word_text,
};

inline constexpr int kMapTerminalCount = kWord + 1;
inline constexpr int kMapSymbolCount = word_text + 1;

// What a reduction does besides building its result value, which starts as $1.
// "Record" is a symbol for every sink; "symbol" one for the sinks that take every kind.
enum class RuleEffect : std::uint8_t {
  kNone,
  kRecordEntry,      // record: text of $1, value of $4
  kSymbolEntry,      // symbol: text of $1, value of $4
  kRecordCollected,  // record: CollectedName, HeadValue
  kSymbolCollected,  // symbol: CollectedName, HeadValue
  kStartCollection,  // CollectedName := text of $1, HeadValue := value of $4 (and the head's
                     // kind, scope, bit and line)
  kAddFirstPiece,    // CollectedName += text of $1
  kAddSecondPiece,   // CollectedName += text of $2
  kTakeText,         // result := text of $1
};

inline constexpr int kMaxRuleLength = 5;

struct GrammarRule {
  GrammarSymbol lhs;
  std::uint8_t length;
  std::array<GrammarSymbol, kMaxRuleLength> rhs;
  RuleEffect effect;
};

// Rules 1 to 27 are the map grammar; entry 0 stands for the start rule (map_file followed by
// the end of input) that the table builder adds itself.
inline constexpr GrammarRule kMapRules[] = {
    {map_file, 1, {map_file}, RuleEffect::kNone},
    {map_file, 1, {entry_list}, RuleEffect::kNone},
    {entry_list, 1, {entry}, RuleEffect::kNone},
    {entry_list, 2, {entry_list, entry}, RuleEffect::kNone},
    {entry, 1, {ignored_line}, RuleEffect::kNone},
    {entry,
     5,
     {name_text, kAddressKind, kScope, kHexValue, kEntryLineEnd},
     RuleEffect::kRecordEntry},
    {entry,
     5,
     {name_text, kSymbolKind, kScope, kHexValue, kEntryLineEnd},
     RuleEffect::kSymbolEntry},
    {entry, 1, {continued_entry}, RuleEffect::kNone},
    {continued_entry, 3, {address_head, middle_pieces, last_piece}, RuleEffect::kRecordCollected},
    {continued_entry, 2, {address_head, last_piece}, RuleEffect::kRecordCollected},
    {continued_entry, 3, {symbol_head, middle_pieces, last_piece}, RuleEffect::kSymbolCollected},
    {continued_entry, 2, {symbol_head, last_piece}, RuleEffect::kSymbolCollected},
    {address_head,
     5,
     {kNamePart, kAddressKind, kScope, kHexValue, kEntryLineEnd},
     RuleEffect::kStartCollection},
    // A symbol head starts the collection as an address head does: for the record list this
    // changes nothing, since only an address head's collection is ever recorded.
    {symbol_head,
     5,
     {kNamePart, kSymbolKind, kScope, kHexValue, kEntryLineEnd},
     RuleEffect::kStartCollection},
    {middle_pieces, 2, {digit_part_text, kEntryLineEnd}, RuleEffect::kAddFirstPiece},
    {middle_pieces,
     3,
     {middle_pieces, digit_part_text, kEntryLineEnd},
     RuleEffect::kAddSecondPiece},
    {middle_pieces, 2, {kNamePart, kEntryLineEnd}, RuleEffect::kAddFirstPiece},
    {middle_pieces, 3, {middle_pieces, kNamePart, kEntryLineEnd}, RuleEffect::kAddSecondPiece},
    {last_piece, 2, {word_text, kEntryLineEnd}, RuleEffect::kAddFirstPiece},
    {last_piece, 2, {name_text, kEntryLineEnd}, RuleEffect::kAddFirstPiece},
    {ignored_line, 1, {kLineEnd}, RuleEffect::kNone},
    {ignored_line, 2, {name_text, kLineEnd}, RuleEffect::kNone},
    {ignored_line, 3, {name_text, kAddressKind, kLineEnd}, RuleEffect::kNone},
    {ignored_line, 5, {name_text, kAddressKind, kLineEnd, kScope, kLineEnd}, RuleEffect::kNone},
    {ignored_line, 2, {word_text, kLineEnd}, RuleEffect::kNone},
    {name_text, 1, {kName}, RuleEffect::kNone},
    {digit_part_text, 1, {kDigitPart}, RuleEffect::kTakeText},
    {word_text, 1, {kWord}, RuleEffect::kTakeText},
};

inline constexpr int kMapRuleCount = static_cast<int>(std::size(kMapRules));  // rule 0 included

// Printable names of the grammar symbols, in symbol order.
inline constexpr const char* kMapSymbolNames[] = {
    "END_OF_INPUT",
    "$undefined",
#define K8MAP_TOKEN_NAME(code, terminal) #code,
    K8MAP_TOKENS(K8MAP_TOKEN_NAME)
#undef K8MAP_TOKEN_NAME
        "map_file",
    "entry_list",
    "entry",
    "continued_entry",
    "address_head",
    "symbol_head",
    "middle_pieces",
    "last_piece",
    "ignored_line",
    "name_text",
    "digit_part_text",
    "word_text",
};
static_assert(std::size(kMapSymbolNames) == kMapSymbolCount);
static_assert(kWord - kLineEnd == kLastTokenCode - kFirstTokenCode);

// Token code to terminal: negative codes and 0 are the end of input, the tokens' codes their
// terminals, every other code the undefined terminal.
constexpr int TerminalOf(int code) {
  if (code <= 0) return kEndOfInput;
  if (code >= kFirstTokenCode && code <= kLastTokenCode) return code - kFirstTokenCode + kLineEnd;
  return kUndefinedToken;
}

}  // namespace k8map
