// SPDX-License-Identifier: MIT
// Symbol kinds as the commands take them: --kind KIND (repeatable) and --all-kinds, as sets of
// K8MAP_KIND_MASK bits.
#pragma once

#include <string>

#include "command_line.h"
#include "kestrum8_map.h"

// The kind keywords, by K8MAP_KIND_ value.
inline constexpr const char* kKindKeywords[] = {"", K8MAP_KIND_KEYWORDS};
inline constexpr unsigned kAddressKinds = K8MAP_KINDS_ADDRESS;
inline constexpr unsigned kAllKinds = K8MAP_KINDS_ALL;

// A kind as given: its keyword, in any letter case, the dot optional ("Addr.", "addr", "FUNC");
// 0 for none.
int ParseKind(const std::string& text);

// The kinds --kind and --all-kinds ask for (without either, fallback: the address kinds unless
// a command says otherwise); false, with the reason in *error, for an unknown kind.
bool ReadKinds(const CommandLine& line, unsigned* kinds, std::string* error,
               unsigned fallback = kAddressKinds);
