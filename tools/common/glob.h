// SPDX-License-Identifier: MIT
// Name patterns of --name: '*' any run of characters, '?' any one character, '[abc]' and
// '[a-z]' one of a set ('[!...]' not of it); every other character stands for itself.
#pragma once

#include <string_view>

bool GlobMatch(std::string_view pattern, std::string_view name);
