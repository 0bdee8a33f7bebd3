// SPDX-License-Identifier: MIT
// Messages of the programs on standard error: every one starts with the program's name.
#pragma once

#include <string>
#include <string_view>

#include "open_failure.h"

// The program's name, defined by each program: "mapsyms", "maptokens".
extern const char kProgramName[];

// Writes the program's name, ": ", text and a line feed (unless text ends with one) to standard
// error.
void Say(std::string_view text);

// A path as the tool shows it: control characters escaped (\n, \t, \x1b),
// so that a message is one line and says exactly which file.
std::string ShowPath(std::string_view path);

// A message of the library as one line: its final line feed dropped, any other one (the text
// of a line-end token it quotes) written as \n.
std::string OneLine(std::string_view message);
