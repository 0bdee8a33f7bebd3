// SPDX-License-Identifier: MIT
// The writer of each export format; symbol_export.cpp chooses one.
#pragma once

#include "symbol_export.h"

namespace k8writers {

bool WriteElf(const std::vector<const MapSymbol*>& symbols, const ExportOptions& options,
              ByteSink& sink, ExportReport* report, std::string* error);
void WriteLinkerScript(const std::vector<const MapSymbol*>& symbols, const ExportOptions& options,
                       ByteSink& sink, ExportReport* report);
void WriteHeader(const std::vector<const MapSymbol*>& symbols, const ExportOptions& options,
                 ByteSink& sink, ExportReport* report);
void WriteSymbolList(const std::vector<const MapSymbol*>& symbols, ByteSink& sink);

// "0x" and eight upper-case hexadecimal digits.
std::string Hex8(std::uint32_t value);

// Text for inside a comment: bytes outside printable ASCII as \xHH, and no "*/".
std::string CommentText(std::string_view text);

}  // namespace k8writers
