// SPDX-License-Identifier: MIT
// Messages of mapsyms on standard error: every one starts with "mapsyms: ".
#pragma once

#include <string>
#include <string_view>

#include "open_failure.h"

// Writes "mapsyms: ", text and a line feed (unless text ends with one) to standard error.
void Say(std::string_view text);

// A path as the tool shows it: control characters escaped (\n, \t, \x1b),
// so that a message is one line and says exactly which file.
std::string ShowPath(std::string_view path);

// A message of the library as one line: its final line feed dropped, any other one (the text
// of a line-end token it quotes) written as \n.
std::string OneLine(std::string_view message);
