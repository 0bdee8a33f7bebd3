// SPDX-License-Identifier: MIT
// Token streams of map texts, case by case.
#include "scanner/scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"

namespace k8map {
namespace {

using namespace std::string_literals;
using test::ScannerOnFile;
using test::TokenStream;

struct StreamCase {
  const char* what;
  std::string text;
  std::string tokens;
};

class TokenStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(TokenStreamTest, Tokens) {
  EXPECT_EQ(TokenStream(GetParam().text), GetParam().tokens);
}

std::string CaseName(const ::testing::TestParamInfo<StreamCase>& info) {
  return info.param.what;
}

const char* const kSymbolLine = "SYMBOL_KIND SCOPE HEX_VALUE(0x00000001) ENTRY_LINE_END";

INSTANTIATE_TEST_SUITE_P(
    WorkedExample, TokenStreamTest,
    ::testing::Values(StreamCase{
        "ElevenLines",
        "Symbols by value\n\n  main Func. g 0x0100\n  counter Var. s 0x2f00 [4]\n"
        "  flag bit g 0x20(3)\n  L12 loc. a 0x01a4 main.obj\n"
        "  init_hardware_and_clo+ Func. g 0x0200\n  ck_tree+\n  2nd+\n  pass\n"
        "  tmp-1 Var. s 0x10\n",
        "LINE_END LINE_END "
        "NAME(main) SYMBOL_KIND SCOPE HEX_VALUE(0x00000100) ENTRY_LINE_END "
        "NAME(counter) SYMBOL_KIND SCOPE HEX_VALUE(0x00002F00) ENTRY_LINE_END "
        "NAME(flag) SYMBOL_KIND SCOPE HEX_VALUE(0x00000020) ENTRY_LINE_END "
        "NAME(L12) ADDRESS_KIND SCOPE HEX_VALUE(0x000001A4) LINE_END "
        "NAME_PART(init_hardware_and_clo) SYMBOL_KIND SCOPE HEX_VALUE(0x00000200) ENTRY_LINE_END "
        "NAME_PART(ck_tree) ENTRY_LINE_END DIGIT_PART(2nd) ENTRY_LINE_END "
        "WORD(pass) ENTRY_LINE_END LINE_END END"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    LineShapes, TokenStreamTest,
    ::testing::Values(
        StreamCase{"Empty", "", "END"}, StreamCase{"LoneLineFeed", "\n", "LINE_END END"},
        StreamCase{"SpacesOnly", "    \n", "LINE_END END"},
        StreamCase{"NoFinalLineEnd", "  main Func. g 0x0100",
                   "NAME(main) SYMBOL_KIND SCOPE HEX_VALUE(0x00000100) END"},
        StreamCase{"NameAtEndOfInput", "  main", "WORD(main) END"},
        StreamCase{"FormFeedAfterWord", "  ab\f\n", "WORD(ab) ENTRY_LINE_END END"},
        StreamCase{"DigitFirstWord", "  12 x\n", "WORD(12) LINE_END END"},
        StreamCase{"PieceThenJunk", "  ab+z\n", "NAME_PART(ab) LINE_END END"},
        StreamCase{"PieceWithKind", "  ab+ Func. g 0x1\n",
                   "NAME_PART(ab) "s + kSymbolLine + " END"},
        StreamCase{"NoBlankAfterDottedKind", "  main Func.g 0x1\n",
                   "NAME(main) "s + kSymbolLine + " END"},
        StreamCase{"ManyBlanksBetweenFields", "  \t main \t\f Addr.\t\t g  \f0x1 \t\f \n",
                   "NAME(main) ADDRESS_KIND SCOPE HEX_VALUE(0x00000001) ENTRY_LINE_END END"},
        StreamCase{"FormFeedAfterName", "  main\fFunc. g 0x1\n",
                   "WORD(main) "s + kSymbolLine + " END"},
        StreamCase{"TabFirst", "\t  main Func. g 0x1\n", "LINE_END END"},
        StreamCase{"FormFeedFirst", "\f  main Func. g 0x1\n", "LINE_END END"},
        StreamCase{"SpaceThenTab", " \tmain Func. g 0x1\n", "NAME(main) "s + kSymbolLine + " END"},
        StreamCase{"NoLeadingSpace", "main Func. g 0x1\n", "LINE_END END"},
        StreamCase{"NineDigitValue", "  main Addr. g 0x123456789\n",
                   "NAME(main) ADDRESS_KIND SCOPE HEX_VALUE(unconverted) ENTRY_LINE_END END"},
        StreamCase{"UpperCaseX", "  v Var. g 0X20\n", "NAME(v) SYMBOL_KIND SCOPE LINE_END END"},
        StreamCase{"DigitSuffix", "  v bit s 0x20(3)\n",
                   "NAME(v) SYMBOL_KIND SCOPE HEX_VALUE(0x00000020) ENTRY_LINE_END END"},
        StreamCase{"TrailingWords", "  v Var. g 0x1F foo-bar *[2]\n",
                   "NAME(v) SYMBOL_KIND SCOPE HEX_VALUE(0x0000001F) ENTRY_LINE_END END"},
        StreamCase{"TrailingWordWithDot", "  v Var. g 0x1F foo.obj\n",
                   "NAME(v) SYMBOL_KIND SCOPE HEX_VALUE(0x0000001F) LINE_END END"},
        StreamCase{"SkipWordFirst", "  tmp-1 Var. s 0x10\n", "LINE_END END"},
        StreamCase{"PieceAlone", "  ab+\n", "NAME_PART(ab) ENTRY_LINE_END END"},
        StreamCase{"NameThenLineEnd", "  ab \n", "NAME(ab) ENTRY_LINE_END END"},
        StreamCase{"NameAndKindOnly", "  ab Addr.\n", "NAME(ab) ADDRESS_KIND LINE_END END"},
        StreamCase{"KindAndScopeOnly", "  ab Addr. g\n",
                   "NAME(ab) ADDRESS_KIND SCOPE LINE_END END"},
        StreamCase{"TwoLeadingRunsSplitByTab", "  \t  ab+\n", "NAME_PART(ab) ENTRY_LINE_END END"}),
    CaseName);

// The points that the order of the rules settles.
INSTANTIATE_TEST_SUITE_P(
    RuleOrder, TokenStreamTest,
    ::testing::Values(
        StreamCase{"EquAlone", "  a EQU g 0x1\n", "NAME(a) "s + kSymbolLine + " END"},
        StreamCase{"EquAtEndOfInput", "  a EQU", "NAME(a) SYMBOL_KIND END"},
        StreamCase{"EqualIsNoKeyword", "  a EQUAL g 0x1\n", "NAME(a) LINE_END END"},
        StreamCase{"BitsIsNoKeyword", "  a bits g 0x1\n", "NAME(a) LINE_END END"},
        StreamCase{"BitDash", "  a bit-x g 0x1\n", "NAME(a) LINE_END END"},
        StreamCase{"BitThenDot", "  a bit.g 0x1\n", "NAME(a) SYMBOL_KIND LINE_END END"},
        StreamCase{"FuncGlued", "  a Func.g 0x1\n", "NAME(a) "s + kSymbolLine + " END"},
        StreamCase{"AddrWithoutDot", "  a Addr g 0x1\n", "NAME(a) LINE_END END"},
        StreamCase{"FuncWithoutDot", "  a Func g 0x1\n", "NAME(a) LINE_END END"},
        StreamCase{"LowerCaseAddr", "  a addr. g 0x1\n", "NAME(a) LINE_END END"},
        StreamCase{"UpperCaseLoc", "  a LOC. g 0x1\n", "NAME(a) LINE_END END"},
        StreamCase{"LowerCaseEqu", "  a equ g 0x1\n", "NAME(a) LINE_END END"},
        StreamCase{"AllKinds",
                   "  a Addr. g 0x1\n  a loc. g 0x1\n  a EQU g 0x1\n  a bit g 0x1\n"
                   "  a Func. g 0x1\n  a Var. g 0x1\n  a arg. g 0x1\n",
                   "NAME(a) ADDRESS_KIND SCOPE HEX_VALUE(0x00000001) ENTRY_LINE_END "
                   "NAME(a) ADDRESS_KIND SCOPE HEX_VALUE(0x00000001) ENTRY_LINE_END "
                   "NAME(a) "s +
                       kSymbolLine + " NAME(a) " + kSymbolLine + " NAME(a) " + kSymbolLine +
                       " NAME(a) " + kSymbolLine + " NAME(a) " + kSymbolLine + " END"},
        StreamCase{"ScopeLetters", "  a EQU a 0x1\n  a EQU s 0x1\n",
                   "NAME(a) "s + kSymbolLine + " NAME(a) " + kSymbolLine + " END"},
        StreamCase{"TwoScopeLetters", "  a EQU ag 0x1\n", "NAME(a) SYMBOL_KIND LINE_END END"},
        StreamCase{"ScopeAndDigit", "  a EQU g1 0x1\n", "NAME(a) SYMBOL_KIND LINE_END END"},
        StreamCase{"OtherScopeLetter", "  a EQU x 0x1\n", "NAME(a) SYMBOL_KIND LINE_END END"},
        StreamCase{"ScopeThenDot", "  a EQU g. 0x1\n", "NAME(a) SYMBOL_KIND SCOPE LINE_END END"},
        StreamCase{"ScopeThenTabValue", "  a EQU g\t0x1\n", "NAME(a) "s + kSymbolLine + " END"},
        StreamCase{"ScopeGluedToValue", "  a EQU g0x1\n", "NAME(a) SYMBOL_KIND LINE_END END"},
        StreamCase{"ValueThenLetter", "  a EQU g 0x1FG\n",
                   "NAME(a) SYMBOL_KIND SCOPE LINE_END END"},
        StreamCase{"ValueThenDash", "  a EQU g 0x1F-2\n", "NAME(a) SYMBOL_KIND SCOPE LINE_END END"},
        StreamCase{"PrefixAlone", "  a EQU g 0x\n", "NAME(a) SYMBOL_KIND SCOPE LINE_END END"},
        StreamCase{"PrefixThenBlank", "  a EQU g 0x 1\n", "NAME(a) SYMBOL_KIND SCOPE LINE_END END"},
        StreamCase{"NoPrefix", "  a EQU g 1F\n", "NAME(a) SYMBOL_KIND SCOPE LINE_END END"},
        StreamCase{"TwoDigitSuffix", "  a EQU g 0x20(34)\n",
                   "NAME(a) SYMBOL_KIND SCOPE HEX_VALUE(0x00000020) LINE_END END"},
        StreamCase{"LetterSuffix", "  a EQU g 0x20(a)\n",
                   "NAME(a) SYMBOL_KIND SCOPE HEX_VALUE(0x00000020) LINE_END END"},
        StreamCase{"SuffixThenWord", "  a EQU g 0x20(3) [7] x*\n",
                   "NAME(a) SYMBOL_KIND SCOPE HEX_VALUE(0x00000020) ENTRY_LINE_END END"},
        StreamCase{"SuffixGluedToWord", "  a EQU g 0x20(3)x\n",
                   "NAME(a) SYMBOL_KIND SCOPE HEX_VALUE(0x00000020) ENTRY_LINE_END END"},
        StreamCase{"UnclosedSuffixAtEnd", "  a EQU g 0x20(3",
                   "NAME(a) SYMBOL_KIND SCOPE HEX_VALUE(0x00000020) END"},
        StreamCase{"OpenParenAtEnd", "  a EQU g 0x20(",
                   "NAME(a) SYMBOL_KIND SCOPE HEX_VALUE(0x00000020) END"},
        StreamCase{"MixedCaseValue", "  a EQU g 0xaBcDeF01\n",
                   "NAME(a) SYMBOL_KIND SCOPE HEX_VALUE(0xABCDEF01) ENTRY_LINE_END END"},
        StreamCase{"AfterValueColon", "  a EQU g 0x1 x:y\n",
                   "NAME(a) SYMBOL_KIND SCOPE HEX_VALUE(0x00000001) LINE_END END"},
        StreamCase{"DashedName", "  ab-c Addr. g 0x1\n", "LINE_END END"},
        StreamCase{"DigitPiece", "  9ab+\n", "DIGIT_PART(9ab) ENTRY_LINE_END END"},
        StreamCase{"UnderscoreName", "  _x9 Addr. g 0x1\n",
                   "NAME(_x9) ADDRESS_KIND SCOPE HEX_VALUE(0x00000001) ENTRY_LINE_END END"},
        StreamCase{"DigitNameBeforeBlank", "  9ab Addr. g 0x1\n",
                   "WORD(9ab) ADDRESS_KIND SCOPE HEX_VALUE(0x00000001) ENTRY_LINE_END END"},
        StreamCase{"PlusAlone", "  + Addr. g 0x1\n", "LINE_END END"},
        StreamCase{"DoublePlus", "  a++\n", "NAME_PART(a) LINE_END END"},
        StreamCase{"WordThenKindGlued", "  a.b\n", "WORD(a) LINE_END END"}),
    CaseName);

// NUL and bytes above 0x7F are in no character set.
INSTANTIATE_TEST_SUITE_P(
    OddBytes, TokenStreamTest,
    ::testing::Values(
        StreamCase{"NulInName", "  a\0b Addr. g 0x1\n"s, "WORD(a) LINE_END END"},
        StreamCase{"HighByteInName", "  a\xe9 Addr. g 0x1\n"s, "WORD(a) LINE_END END"},
        StreamCase{"NulAtLineStart", "\0  a Addr. g 0x1\n"s, "LINE_END END"},
        StreamCase{"NulInLeadingSpaces", " \0 a Addr. g 0x1\n"s, "LINE_END END"},
        StreamCase{"NulInKindField", "  a \0Addr. g 0x1\n"s, "NAME(a) LINE_END END"},
        StreamCase{"HighByteInKind", "  a Ad\xc4r. g 0x1\n"s, "NAME(a) LINE_END END"},
        StreamCase{"NulInScopeField", "  a Addr. \0g 0x1\n"s, "NAME(a) ADDRESS_KIND LINE_END END"},
        StreamCase{"NulInValueField", "  a Addr. g 0x1\0\n"s,
                   "NAME(a) ADDRESS_KIND SCOPE HEX_VALUE(0x00000001) LINE_END END"},
        StreamCase{"NulAfterValue", "  a Addr. g 0x1 x\0\n"s,
                   "NAME(a) ADDRESS_KIND SCOPE HEX_VALUE(0x00000001) LINE_END END"},
        StreamCase{"HighByteAfterValue", "  a Addr. g 0x1 \xff\n"s,
                   "NAME(a) ADDRESS_KIND SCOPE HEX_VALUE(0x00000001) LINE_END END"},
        StreamCase{"HighByteInSkippedLine", "x\xff\0y\n  a+\n"s,
                   "LINE_END NAME_PART(a) ENTRY_LINE_END END"}),
    CaseName);

// The end of input in every start condition, and the longest match wholly before it.
INSTANTIATE_TEST_SUITE_P(
    EndOfInput, TokenStreamTest,
    ::testing::Values(StreamCase{"InLineStart", "  ", "END"},
                      StreamCase{"InNameField", "  a+", "NAME_PART(a) END"},
                      StreamCase{"NameWithBlankAtEnd", "  a ", "NAME(a) END"},
                      StreamCase{"InKindField", "  a Add", "NAME(a) END"},
                      StreamCase{"InScopeField", "  a Addr.", "NAME(a) ADDRESS_KIND END"},
                      StreamCase{"InValueField", "  a Addr. g", "NAME(a) ADDRESS_KIND SCOPE END"},
                      StreamCase{"ValuePrefixAtEnd", "  a Addr. g 0x",
                                 "NAME(a) ADDRESS_KIND SCOPE END"},
                      StreamCase{"InAfterValue", "  a Addr. g 0x1 [4",
                                 "NAME(a) ADDRESS_KIND SCOPE HEX_VALUE(0x00000001) END"},
                      StreamCase{"InSkipLine", "  a-b", "END"}),
    CaseName);

// Carriage returns and Ctrl-Z never reach the rules.
INSTANTIATE_TEST_SUITE_P(
    TextMode, TokenStreamTest,
    ::testing::Values(
        StreamCase{"CrLf", "  x Var. g 0x1\r\n", "NAME(x) "s + kSymbolLine + " END"},
        StreamCase{"LoneCrInName", "  a\rb Addr. g 0x1\n",
                   "NAME(ab) ADDRESS_KIND SCOPE HEX_VALUE(0x00000001) ENTRY_LINE_END END"},
        StreamCase{"CrOnly", "\r\r\r\r", "END"},
        StreamCase{"CtrlZEndsInput", "  a+\n\x1a  b+\n", "NAME_PART(a) ENTRY_LINE_END END"},
        StreamCase{"CtrlZInName",
                   "  ab\x1a"
                   "cd Addr.\n",
                   "WORD(ab) END"}),
    CaseName);

TEST(Scanner, TokenTextIsExactlyTheMatchedText) {
  ScannerOnFile on("  main Addr. g 0x1f(3)\n  ab+\n");
  Scanner& s = on.get();
  std::vector<std::string> texts;
  for (int code = NextToken(s);; code = NextToken(s)) {
    texts.push_back(std::string(s.token_text, static_cast<std::size_t>(s.token_length)));
    if (code == END_OF_INPUT) break;
  }
  std::vector<std::string> expected{"main", "Addr.", "g", "0x1f(3)", "\n", "ab+", "\n", ""};
  EXPECT_EQ(texts, expected);
}

TEST(Scanner, LineCounterIsOnePlusLineEnds) {
  ScannerOnFile on("a\n\n  b+\n  c\n  d Addr. g 0x1\nlast");
  Scanner& s = on.get();
  EXPECT_EQ(s.line_counter, 1);
  int line_ends = 0;
  for (int code = NextToken(s); code != END_OF_INPUT; code = NextToken(s)) {
    if (code == LINE_END || code == ENTRY_LINE_END) ++line_ends;
    EXPECT_EQ(s.line_counter, line_ends + 1);
  }
  EXPECT_EQ(line_ends, 5);
  EXPECT_EQ(s.line_counter, 6);
  EXPECT_EQ(NextToken(s), END_OF_INPUT) << "a further call finds the end again";
  EXPECT_EQ(s.line_counter, 6);
}

TEST(Scanner, TokenValueIsOnlyWrittenByTokensThatWriteIt) {
  ScannerOnFile on("  main Addr. g 0x2a\n");
  Scanner& s = on.get();
  ASSERT_EQ(NextToken(s), NAME);
  ASSERT_EQ(NextToken(s), ADDRESS_KIND);
  EXPECT_STREQ(s.value.text, "main");
  ASSERT_EQ(NextToken(s), SCOPE);
  ASSERT_EQ(NextToken(s), HEX_VALUE);
  EXPECT_EQ(s.value.number, 0x2Au);
  ASSERT_EQ(NextToken(s), ENTRY_LINE_END);
  EXPECT_STREQ(s.value.text, "main") << "the value's text is left as the name wrote it";
  EXPECT_TRUE(s.value.converted);
}

TEST(Scanner, LongNameValueIsCutAt255WhileTokenTextKeepsAll) {
  std::string name(300, 'n');
  ScannerOnFile on("  " + name + " Addr. g 0x1\n");
  Scanner& s = on.get();
  ASSERT_EQ(NextToken(s), NAME);
  EXPECT_EQ(std::string(s.token_text), name);
  EXPECT_EQ(std::string(s.value.text), name.substr(0, 255));
  EXPECT_EQ(s.value.text_length, 255);
}

TEST(Scanner, LongValueTextStaysUnconvertedAndScanningGoesOn) {
  std::string digits(300, '0');
  EXPECT_EQ(TokenStream("  v Addr. g 0x" + digits + "1\n  w+\n"),
            "NAME(v) ADDRESS_KIND SCOPE HEX_VALUE(unconverted) ENTRY_LINE_END "
            "NAME_PART(w) ENTRY_LINE_END END");
  EXPECT_EQ(TokenStream("  v Addr. g 0x00000000\n"),
            "NAME(v) ADDRESS_KIND SCOPE HEX_VALUE(0x00000000) ENTRY_LINE_END END");
}

TEST(Scanner, TokenNamesCoverExactlyTheCodes) {
  EXPECT_STREQ(TokenName(END_OF_INPUT), "END_OF_INPUT");
  EXPECT_STREQ(TokenName(kFirstTokenCode), "LINE_END");
  EXPECT_STREQ(TokenName(kLastTokenCode), "WORD");
  EXPECT_EQ(TokenName(kFirstTokenCode - 1), nullptr);
  EXPECT_EQ(TokenName(kLastTokenCode + 1), nullptr);
}

}  // namespace
}  // namespace k8map
