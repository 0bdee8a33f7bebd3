// SPDX-License-Identifier: MIT
// Why a line of a map made no symbol, in words, from the line's own tokens (line_scan.h) and,
// for continued names, the lines around it. check asks only about lines the library made no
// symbol of.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "line_scan.h"

// The lines of a map as the library reads them, each with its tokens.
struct MapLines {
  std::vector<std::string_view> text;  // without their line feeds
  std::vector<LineScan> scans;
  bool last_has_end = true;  // whether the last line ends with a line feed

  std::size_t size() const { return text.size(); }
};

// Whether a line looks meant as a symbol entry: it begins with a blank (space, tab, form feed,
// vertical tab, no-break space) and holds a kind keyword in any letter case or a 0x or 0X value.
bool SymbolLike(std::string_view line);

// No continued name is waiting for its pieces.
inline constexpr std::size_t kNoOpenHead = static_cast<std::size_t>(-1);

// Why line i (counted from 0) made no symbol; open_head is the line of a continued name still
// waiting for its pieces when line i came, or kNoOpenHead.
std::string WhyNoSymbol(const MapLines& lines, std::size_t i, std::size_t open_head);

// What is wrong with line i by itself, read alone (a line the parse did not reach): empty
// when it is a whole entry whose value converts.
std::string OwnFault(const MapLines& lines, std::size_t i);

// The length of the name of the entry at line i (a single-line entry, or the pieces of a
// continued name from its head line on).
std::size_t NameLength(const MapLines& lines, std::size_t i);

// Text as a reason quotes it: bytes outside printable ASCII escaped (\t, \xHH).
std::string ShowText(std::string_view text);
