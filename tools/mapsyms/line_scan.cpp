// SPDX-License-Identifier: MIT
#include "line_scan.h"

#include <algorithm>
#include <array>

namespace {

bool IsSkipWordChar(unsigned char c) {
  return IsNameChar(c) || c == '-';
}

bool IsTrailChar(unsigned char c) {
  return IsSkipWordChar(c) || c == '*' || c == '[' || c == ']';
}

bool IsBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\f';
}

// The longest match of the rules that take text in the current field: its length and what
// it makes (a token, a skip, a blank passed over, or the field changing without a token).
struct Match {
  std::size_t length = 0;
  enum What { kToken, kSkip, kBlank, kTrail } what = kSkip;
  LineToken token = LineToken::kWord;
  std::size_t token_length = 0;  // a name's blank is matched but not taken
};

class Scanner {
 public:
  explicit Scanner(std::string_view line) : s_(line) {}

  LineScan Run() {
    LineField field = LineField::kLineStart;
    bool skipping = false;
    std::size_t i = 0;
    if (!s_.empty() && s_[0] == ' ') {  // leading spaces: the name field comes next
      i = s_.find_first_not_of(' ');
      if (i == std::string_view::npos) i = s_.size();
      scan_.longest = i;
      scan_.name_field = true;
      field = LineField::kName;
    }
    while (i < s_.size()) {
      Match m = skipping ? Common(i) : Best(field, i);
      scan_.longest = std::max(scan_.longest, m.what == Match::kToken ? m.token_length : m.length);
      if (m.what == Match::kSkip && !skipping) {
        skipping = true;
        scan_.skipped = true;
        scan_.skipped_in = field;
        scan_.skip_at = i;
      } else if (m.what == Match::kToken) {
        scan_.tokens.push_back({m.token, i, i + m.token_length});
        field = After(m.token);
        i += m.token_length;
        continue;
      }
      i += m.length;
    }
    scan_.entry_line_end =
        !skipping && (field == LineField::kKind || field == LineField::kAfterValue);
    return scan_;
  }

 private:
  static LineField After(LineToken token) {
    switch (token) {
      case LineToken::kName:
      case LineToken::kNamePart:
      case LineToken::kDigitPart:
      case LineToken::kWord:
        return LineField::kKind;
      case LineToken::kAddressKind:
      case LineToken::kSymbolKind:
        return LineField::kScope;
      case LineToken::kScope:
        return LineField::kValue;
      case LineToken::kValue:
        return LineField::kAfterValue;
    }
    return LineField::kLineStart;
  }

  std::size_t RunOf(std::size_t i, bool (*member)(unsigned char)) const {
    std::size_t j = i;
    while (j < s_.size() && member(static_cast<unsigned char>(s_[j]))) ++j;
    return j - i;
  }

  unsigned char At(std::size_t i) const {
    return i < s_.size() ? static_cast<unsigned char>(s_[i]) : '\n';
  }

  // The rules of every field: a word of skip-word characters (skips the line), one blank
  // (passed over), any other byte (skips the line).
  Match Common(std::size_t i) const {
    std::size_t word = RunOf(i, IsSkipWordChar);
    if (word > 0) return {word, Match::kSkip};
    if (IsBlank(At(i))) return {1, Match::kBlank};
    return {1, Match::kSkip};
  }

  static void Consider(Match& best, std::size_t length, LineToken token, std::size_t taken) {
    if (length > best.length) best = {length, Match::kToken, token, taken};
  }

  Match Best(LineField field, std::size_t i) const {
    Match best;
    switch (field) {
      case LineField::kName:
        NameRules(i, best);
        break;
      case LineField::kKind:
        KindRules(i, best);
        break;
      case LineField::kScope:
        if (At(i) == 'a' || At(i) == 'g' || At(i) == 's') Consider(best, 1, LineToken::kScope, 1);
        break;
      case LineField::kValue:
        ValueRules(i, best);
        break;
      case LineField::kAfterValue: {
        std::size_t trail = RunOf(i, IsTrailChar);
        if (trail > 0) best = {trail, Match::kTrail};
        break;
      }
      case LineField::kLineStart:
        break;
    }
    Match common = Common(i);
    return common.length > best.length ? common : best;  // equal: the field's own rule wins
  }

  void NameRules(std::size_t i, Match& best) const {
    std::size_t name = RunOf(i, IsNameChar);
    if (name == 0) return;
    bool letter_first = IsNameStart(At(i));
    unsigned char after = At(i + name);
    if (after == '+') {
      Consider(best, name + 1, letter_first ? LineToken::kNamePart : LineToken::kDigitPart,
               name + 1);
    }
    if (letter_first && (after == ' ' || after == '\t')) {
      Consider(best, name + 1, LineToken::kName, name);
    }
    Consider(best, name, LineToken::kWord, name);
  }

  void KindRules(std::size_t i, Match& best) const {
    static constexpr std::array<std::pair<std::string_view, LineToken>, 7> kKeywords = {{
        {"Addr.", LineToken::kAddressKind},
        {"loc.", LineToken::kAddressKind},
        {"EQU", LineToken::kSymbolKind},
        {"bit", LineToken::kSymbolKind},
        {"Func.", LineToken::kSymbolKind},
        {"Var.", LineToken::kSymbolKind},
        {"arg.", LineToken::kSymbolKind},
    }};
    for (const auto& [keyword, token] : kKeywords) {
      if (s_.substr(i, keyword.size()) == keyword) {
        Consider(best, keyword.size(), token, keyword.size());
      }
    }
  }

  void ValueRules(std::size_t i, Match& best) const {
    if (At(i) != '0' || At(i + 1) != 'x') return;
    std::size_t digits = RunOf(i + 2, IsHexDigit);
    if (digits == 0) return;
    std::size_t end = i + 2 + digits;
    if (At(end) == '(' && At(end + 1) >= '0' && At(end + 1) <= '9' && At(end + 2) == ')') {
      Consider(best, end + 3 - i, LineToken::kValue, end + 3 - i);
    }
    Consider(best, end - i, LineToken::kValue, end - i);
  }

  std::string_view s_;
  LineScan scan_;
};

}  // namespace

bool IsNameStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9');
}

bool IsHexDigit(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool LineScan::Entry() const {
  return count() == 4 && (Is(0, LineToken::kName) || Is(0, LineToken::kNamePart)) && IsKind(1) &&
         Is(2, LineToken::kScope) && Is(3, LineToken::kValue) && entry_line_end;
}

bool LineScan::MiddlePiece() const {
  return count() == 1 && (Is(0, LineToken::kNamePart) || Is(0, LineToken::kDigitPart)) &&
         entry_line_end;
}

bool LineScan::LastPiece() const {
  return count() == 1 && (Is(0, LineToken::kWord) || Is(0, LineToken::kName)) && entry_line_end;
}

LineScan ScanLine(std::string_view line) {
  return Scanner(line).Run();
}
