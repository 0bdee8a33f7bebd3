// SPDX-License-Identifier: MIT
// The serial line reader: a symbol line read run by run, each run as wide as the parse's search
// (a byte at a time where the processor has no vector unit).
#include "scanner/whole_lines.h"

namespace k8map::lines {

// A symbol line read run by run from the bytes; offsets from p.
SymbolLine ReadSymbolLineSerially(const Byte* p, SearchWidth width) {
  SymbolLine line{};
  if (p[0] != ' ') return line;  // only a space at the line start begins a name field
  int q = RunLength<RunClass::kBlank>(p, width);  // leading spaces, then blanks
  if (!IsClass(p[q], kNameStart)) return line;
  int name = q;
  q += RunLength<RunClass::kNameChar>(p + q, width);
  if (!IsClass(p[q], kNameEndBlank)) return line;
  line.name = p + name;
  line.name_length = q - name;
  q += RunLength<RunClass::kBlank>(p + q, width);
  Match kind = KindKeyword(p + q, RunLength<RunClass::kSkipWordChar>(p + q, width));
  if (!IsKeywordRule(kind.rule)) return line;
  line.kind = KindOfRule(kind.rule);
  line.address = IsAddressKind(line.kind);
  q += kind.length;
  q += RunLength<RunClass::kBlank>(p + q, width);
  if (!IsScopeLetter(p[q]) || IsClass(p[q + 1], kSkipWordChar)) return line;
  line.scope = static_cast<char>(p[q]);
  ++q;
  q += RunLength<RunClass::kBlank>(p + q, width);
  if (p[q] != '0' || p[q + 1] != 'x') return line;
  int digits = RunLength<RunClass::kHexDigit>(p + q + 2, width);
  int e = q + 2 + digits;
  if (digits == 0 || IsClass(p[e], kSkipWordChar)) return line;
  line.value = p + q;
  line.value_length = 2 + digits;
  line.line_feed = ValueSuffixAndTail(p + e, width);
  return line;
}

}  // namespace k8map::lines
