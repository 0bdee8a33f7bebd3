// SPDX-License-Identifier: MIT
// The scanner's input side through real files: text mode, refills, limits, devices.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "scanner/scanner.h"
#include "test_util.h"

namespace k8map {
namespace {

using namespace std::string_literals;
using test::ScannerOnFile;
using test::TokenStream;

struct Token {
  std::string description;
  std::string text;
  LineNumber line;
  bool operator==(const Token&) const = default;
};

std::vector<Token> Tokens(ScannerOnFile& on) {
  Scanner& s = on.get();
  std::vector<Token> tokens;
  for (;;) {
    int code = NextToken(s);
    tokens.push_back(
        {test::DescribeToken(s, code), std::string(s.token_text, s.token_length), s.line_counter});
    if (code == END_OF_INPUT) return tokens;
  }
}

std::vector<Token> Tokens(const std::string& content) {
  ScannerOnFile on(content);
  return Tokens(on);
}

std::string WithCrLf(const std::string& text) {
  std::string crlf;
  for (char c : text) crlf += (c == '\n') ? "\r\n"s : std::string(1, c);
  return crlf;
}

const std::string kLines =
    "Heading of the listing\n"
    "\n"
    "                          long_name_of_a_symbol_abcdef+   Addr.    g    0x12345678(3)  "
    "trailing-word_[4]*  more*words\n"
    "  middle_piece_with_a_long_text_0123456789+\n"
    "  9876543210digits+\n"
    "  the_last_piece_of_it\n"
    "  another_name_here_for_names\tFunc.\ts\t0xabcdef   \n"
    "  x-y-z-skip-line-words and more words\n"
    "  value_field Var. g 0x000000000000000000000001 tail\n";

TEST(InputLayer, CrLfAndLfGiveTheSameTokensAndLines) {
  EXPECT_EQ(Tokens(WithCrLf(kLines)), Tokens(kLines));
}

// A file is read into a block buffer far larger than one read: carriage returns, a Ctrl-Z and
// the seams between blocks fall anywhere in a text of a few blocks. A stream without a file
// descriptor is read through the C library, with the same tokens.
TEST(InputLayer, TextsOfManyBlocksReadAsShortOnes) {
  std::string lf;
  while (lf.size() < 3 * kBlockBufferSize) lf += kLines;
  std::vector<Token> expected = Tokens(lf);
  EXPECT_EQ(Tokens(WithCrLf(lf)), expected);
  std::size_t cut = lf.find('\n', kBlockBufferSize + 5000) + 1;
  EXPECT_EQ(Tokens(WithCrLf(lf.substr(0, cut)) + "\x1a" + lf), Tokens(lf.substr(0, cut)));
#ifndef _WIN32
  std::string crlf = WithCrLf(lf);
  ScannerOnFile in_memory(fmemopen(crlf.data(), crlf.size(), "rb"));
  EXPECT_EQ(Tokens(in_memory), expected);
#endif
}

TEST(InputLayer, CarriageReturnsVanishWhereverTheyStand) {
  EXPECT_EQ(TokenStream("\r  a\rb+\r\r\n"), "NAME_PART(ab) ENTRY_LINE_END END");
  EXPECT_EQ(Tokens(std::string(20000, '\r')), Tokens(""));
}

TEST(InputLayer, EmptyInputEndsAtOnceOnLineOne) {
  ScannerOnFile on("");
  EXPECT_EQ(NextToken(on.get()), END_OF_INPUT);
  EXPECT_EQ(on.get().line_counter, 1);
  EXPECT_STREQ(on.get().token_text, "");
}

TEST(InputLayer, CtrlZEndsTheInputForGood) {
  std::string big(20000, '\n');
  EXPECT_EQ(Tokens("  a+\n\x1a" + big), Tokens("  a+\n"));
  EXPECT_EQ(Tokens(big.substr(0, 9000) + "\x1a  a+\n").size(), 9001u);
}

TEST(InputLayer, NulIsAnOrdinaryByte) {
  EXPECT_EQ(TokenStream("\0\n  a+\n"s), "LINE_END NAME_PART(a) ENTRY_LINE_END END");
}

TEST(InputLayer, LastLineWithoutLineFeedIsDelivered) {
  std::vector<Token> tokens = Tokens("  a+\n  bcd");
  ASSERT_EQ(tokens.size(), 4u);
  EXPECT_EQ(tokens[2], (Token{"WORD(bcd)", "bcd", 2}));
  EXPECT_EQ(tokens[3], (Token{"END", "", 2}));
}

// Every token cut by the boundary of two reads comes out as if read in one piece, in every
// start condition: the same lines after fillers of every length around one read.
TEST(InputLayer, TokensCutByTheReadBoundaryAreWhole) {
  std::vector<Token> alone = Tokens(kLines);
  for (int filler = kReadLimit - static_cast<int>(kLines.size()) - 2; filler <= kReadLimit + 2;
       ++filler) {
    std::vector<Token> all = Tokens(std::string(static_cast<std::size_t>(filler), '\n') + kLines);
    ASSERT_EQ(all.size(), alone.size() + filler) << "filler " << filler;
    for (std::size_t i = 0; i < alone.size(); ++i) {
      Token expected = alone[i];
      expected.line += filler;
      ASSERT_EQ(all[filler + i], expected) << "filler " << filler << ", token " << i;
    }
  }
}

struct LimitCase {
  const char* what;
  std::string text;
  std::string tokens;
};

class TokenLimitTest : public ::testing::TestWithParam<LimitCase> {};

TEST_P(TokenLimitTest, Tokens) {
  EXPECT_EQ(TokenStream(GetParam().text), GetParam().tokens);
}

std::string Spaces(int n) {
  return std::string(static_cast<std::size_t>(n), ' ');
}
std::string Word(int n) {
  return std::string(static_cast<std::size_t>(n), 'w');
}
const std::string kFatal = "FATAL(token too large, exceeds YYLMAX)";

// 8191 bytes is the longest token; at the end-of-buffer event the end mark counts, so 8190
// pending bytes is the most. The first read ends at byte 8192 of the file.
INSTANTIATE_TEST_SUITE_P(
    Limits, TokenLimitTest,
    ::testing::Values(
        LimitCase{"Spaces8191InBuffer", Spaces(8191) + "a+\n", "NAME_PART(a) ENTRY_LINE_END END"},
        LimitCase{"Spaces8192InBuffer", "\n\n" + Spaces(8192) + "a+\n",
                  "LINE_END LINE_END " + kFatal},
        LimitCase{"Spaces8191PendingAtRead", "\n" + Spaces(8191) + "a+\n", "LINE_END " + kFatal},
        LimitCase{"Spaces8190PendingAtRead", "\n\n" + Spaces(8190) + "a+\n",
                  "LINE_END LINE_END NAME_PART(a) ENTRY_LINE_END END"},
        LimitCase{"Word8191", "  " + Word(8191) + "\n",
                  "WORD(" + Word(255) + ") ENTRY_LINE_END END"},
        LimitCase{"Word8192", "\n  " + Word(8192) + "\n", "LINE_END " + kFatal},
        LimitCase{"Word8191AtEndOfInput", "  " + Word(8191), kFatal},
        LimitCase{"Word8190AtEndOfInput", "  " + Word(8190), "WORD(" + Word(255) + ") END"},
        LimitCase{"Piece8191", "\n  " + Word(8190) + "+\n",
                  "LINE_END NAME_PART(" + Word(255) + ") ENTRY_LINE_END END"},
        LimitCase{"SkipWord8192", "\n\n-" + Word(8191) + "\n", "LINE_END LINE_END " + kFatal},
        LimitCase{"SkipWord8191", "\n\n-" + Word(8190) + "\n", "LINE_END LINE_END LINE_END END"},
        LimitCase{"TrailingWord8192", "\n  a Var. g 0x1 " + Word(8192) + "\n",
                  "LINE_END NAME(a) SYMBOL_KIND SCOPE HEX_VALUE(0x00000001) " + kFatal},
        LimitCase{"Value8191", "\n  a Var. g 0x" + std::string(8189, '0') + "\n",
                  "LINE_END NAME(a) SYMBOL_KIND SCOPE HEX_VALUE(unconverted) ENTRY_LINE_END END"},
        LimitCase{"Value8192", "\n  a Var. g 0x" + std::string(8190, '0') + "\n",
                  "LINE_END NAME(a) SYMBOL_KIND SCOPE " + kFatal}),
    [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.what); });

TEST(InputLayer, FileOfNLinesEndsWithLineCounterNPlusOne) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += (i % 3 == 0) ? "  a Addr. g 0x1\n" : "heading\n";
  ScannerOnFile on(text);
  while (NextToken(on.get()) != END_OF_INPUT) {
  }
  EXPECT_EQ(on.get().line_counter, 5001);
}

TEST(InputLayer, NullDeviceIsACharacterDeviceThatEndsAtOnce) {
#ifdef _WIN32
  const char* device = "NUL";
#else
  const char* device = "/dev/null";
#endif
  std::FILE* file = OpenMapFile(device);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(IsCharacterDevice(file));
  ScannerOnFile on(file);
  EXPECT_EQ(NextToken(on.get()), END_OF_INPUT);
  EXPECT_EQ(on.get().line_counter, 1);
}

TEST(InputLayer, RegularFileIsNoCharacterDevice) {
  std::FILE* file = OpenMapFile(test::WriteTempFile("x").c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(IsCharacterDevice(file));
  std::fclose(file);
}

TEST(InputLayer, ResetAfterAnAbandonedParseStartsAfresh) {
  auto scanner = std::make_unique<Scanner>();
  std::FILE* first = OpenMapFile(test::WriteTempFile("x\ny\n  abc Addr. g 0x1\n").c_str());
  ResetScanner(*scanner, first);
  for (int i = 0; i < 4; ++i) NextToken(*scanner);  // stop inside the third line
  EXPECT_EQ(scanner->line_counter, 3);
  EXPECT_EQ(scanner->condition, SCOPE_FIELD);
  std::fclose(first);

  std::FILE* second = OpenMapFile(test::WriteTempFile("  q+\n").c_str());
  ResetScanner(*scanner, second);
  EXPECT_EQ(scanner->line_counter, 1);
  EXPECT_EQ(scanner->buffer.count, 0);
  EXPECT_EQ(scanner->condition, LINE_START);
  EXPECT_TRUE(scanner->buffer.at_line_start);
  EXPECT_EQ(NextToken(*scanner), NAME_PART);
  EXPECT_STREQ(scanner->value.text, "q");
  std::fclose(second);
}

TEST(InputLayer, FillOutcomesFollowTheBufferedData) {
  auto scanner = std::make_unique<Scanner>();
  std::FILE* file = OpenMapFile(test::WriteTempFile("abc").c_str());
  ResetScanner(*scanner, file);
  EXPECT_EQ(FillBuffer(*scanner), FILL_CONTINUE);
  EXPECT_EQ(scanner->buffer.count, 3);
  EXPECT_EQ(FillBuffer(*scanner), FILL_LAST_MATCH) << "pending bytes, nothing new";
  EXPECT_EQ(scanner->buffer.status, BUFFER_END_PENDING);
  CaptureToken(*scanner, 3, false);
  EXPECT_EQ(FillBuffer(*scanner), FILL_END_OF_INPUT);
  EXPECT_EQ(scanner->buffer.status, BUFFER_NEW);
  std::fclose(file);
}

}  // namespace
}  // namespace k8map
