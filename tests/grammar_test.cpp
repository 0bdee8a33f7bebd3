// SPDX-License-Identifier: MIT
// The map grammar and its actions, from token sequences and from map text.
#include <gtest/gtest.h>

#include "grammar/map_actions.h"
#include "grammar/parse_tokens.h"
#include "grammar_test_util.h"
#include "test_util.h"

namespace k8map {
namespace {

using test::DescribeRecords;

struct GrammarCase {
  const char* what;
  std::string sequence;
  int result;
  std::string records;
};

struct SequenceRun {
  int result;
  std::string records;
  EngineStats stats;
  int end_reads;
};

SequenceRun RunSequence(const std::string& sequence, GrammarState* state = nullptr) {
  GrammarState local;
  RecordList records;
  ParseReport report;
  test::SequenceSource source;
  source.tokens = test::ParseSequence(sequence);
  MapActions actions{state != nullptr ? *state : local, records, report, nullptr};
  SequenceRun run;
  run.result = RunEngine(kMapTables, source, actions, &run.stats);
  run.records = DescribeRecords(records);
  run.end_reads = source.end_reads;
  FreeAll(records);
  return run;
}

class GrammarSequenceTest : public ::testing::TestWithParam<GrammarCase> {};

TEST_P(GrammarSequenceTest, ResultAndRecords) {
  SequenceRun run = RunSequence(GetParam().sequence);
  EXPECT_EQ(run.result, GetParam().result);
  EXPECT_EQ(run.records, GetParam().records);
  EXPECT_LE(run.stats.max_depth, 7);
  EXPECT_EQ(run.stats.error_reports, GetParam().result == 0 ? 0 : 1);
}

std::string Name(const ::testing::TestParamInfo<GrammarCase>& info) {
  return info.param.what;
}

const std::string kMain = "NAME(main) ADDRESS_KIND SCOPE HEX(1000) ENTRY_LINE_END ";
const std::string kB = "NAME(b) ADDRESS_KIND SCOPE HEX(2) ENTRY_LINE_END ";

INSTANTIATE_TEST_SUITE_P(
    Accepted, GrammarSequenceTest,
    ::testing::Values(
        GrammarCase{"WorkedExample",
                    "LINE_END LINE_END " + kMain +
                        "NAME(start_loop) ADDRESS_KIND SCOPE HEX(102A) ENTRY_LINE_END "
                        "NAME(counter) SYMBOL_KIND SCOPE HEX(3000) ENTRY_LINE_END "
                        "NAME_PART(InitSerialPort) ADDRESS_KIND SCOPE HEX(2000) ENTRY_LINE_END "
                        "DIGIT_PART(2And) ENTRY_LINE_END NAME_PART(Buff) ENTRY_LINE_END "
                        "WORD(ers) ENTRY_LINE_END",
                    0, "main=0x1000 start_loop=0x102A InitSerialPort2AndBuffers=0x2000"},
        GrammarCase{"IgnoredLines",
                    "LINE_END NAME(a) LINE_END NAME(a) ADDRESS_KIND LINE_END "
                    "NAME(a) ADDRESS_KIND LINE_END SCOPE LINE_END WORD(a) LINE_END",
                    0, ""},
        GrammarCase{
            "HeadAndLastOnly",
            "NAME_PART(ab) ADDRESS_KIND SCOPE HEX(5) ENTRY_LINE_END WORD(cd) ENTRY_LINE_END", 0,
            "abcd=0x5"},
        GrammarCase{
            "FinalPieceIsAName",
            "NAME_PART(ab) ADDRESS_KIND SCOPE HEX(5) ENTRY_LINE_END NAME(cd) ENTRY_LINE_END", 0,
            "abcd=0x5"},
        GrammarCase{"DuplicatesAndZero",
                    kMain + "NAME(main) ADDRESS_KIND SCOPE HEX(0) ENTRY_LINE_END", 0,
                    "main=0x1000 main=0x0"},
        GrammarCase{"SymbolEntryBetween",
                    kMain + "NAME(v) SYMBOL_KIND SCOPE HEX(9) ENTRY_LINE_END " + kB, 0,
                    "main=0x1000 b=0x2"},
        GrammarCase{"ContinuedSymbolEntryBetween",
                    "NAME_PART(p) ADDRESS_KIND SCOPE HEX(1) ENTRY_LINE_END WORD(q) ENTRY_LINE_END "
                    "NAME_PART(x) SYMBOL_KIND SCOPE HEX(9) ENTRY_LINE_END DIGIT_PART(1y) "
                    "ENTRY_LINE_END WORD(z) ENTRY_LINE_END "
                    "NAME_PART(r) ADDRESS_KIND SCOPE HEX(2) ENTRY_LINE_END NAME(s) ENTRY_LINE_END",
                    0, "pq=0x1 rs=0x2"},
        GrammarCase{"ManyMiddlePieces",
                    "NAME_PART(a) ADDRESS_KIND SCOPE HEX(7) ENTRY_LINE_END NAME_PART(b) "
                    "ENTRY_LINE_END DIGIT_PART(2) ENTRY_LINE_END DIGIT_PART(3c) ENTRY_LINE_END "
                    "NAME_PART(d) ENTRY_LINE_END WORD(9) ENTRY_LINE_END",
                    0, "ab23cd9=0x7"},
        GrammarCase{
            "UnconvertedValuesMakeNoRecord",
            "NAME(a) ADDRESS_KIND SCOPE HEX(?) ENTRY_LINE_END "
            "NAME_PART(c) ADDRESS_KIND SCOPE HEX(?) ENTRY_LINE_END WORD(d) ENTRY_LINE_END " +
                kB,
            0, "b=0x2"}),
    Name);

INSTANTIATE_TEST_SUITE_P(
    Rejected, GrammarSequenceTest,
    ::testing::Values(
        GrammarCase{"Empty", "", 1, ""},
        GrammarCase{"WordWithKind", "WORD(a) ADDRESS_KIND SCOPE HEX(1) ENTRY_LINE_END", 1, ""},
        GrammarCase{"WordThenEntryLineEnd", "WORD(a) ENTRY_LINE_END", 1, ""},
        GrammarCase{"NameThenEntryLineEnd", "NAME(a) ENTRY_LINE_END", 1, ""},
        GrammarCase{"DigitPartFirst", "DIGIT_PART(1) ENTRY_LINE_END", 1, ""},
        GrammarCase{"EntryLineEndFirst", "ENTRY_LINE_END", 1, ""},
        GrammarCase{"SymbolKindThenLineEnd", "NAME(a) SYMBOL_KIND LINE_END", 1, ""},
        GrammarCase{"ScopeThenLineEnd", "NAME(a) ADDRESS_KIND SCOPE LINE_END", 1, ""},
        GrammarCase{"SymbolLineWithLineEnd", "NAME(a) ADDRESS_KIND SCOPE HEX(1) LINE_END", 1, ""},
        GrammarCase{"LastLineWithoutLineEnd",
                    kMain + "NAME_PART(a) ADDRESS_KIND SCOPE HEX(1) ENTRY_LINE_END WORD(b)", 1,
                    "main=0x1000"},
        GrammarCase{"EndInsideSingleLine", kMain + "NAME(x) ADDRESS_KIND SCOPE HEX(1)", 1,
                    "main=0x1000"},
        GrammarCase{"EmptyLineInsideContinued",
                    "NAME_PART(a) ADDRESS_KIND SCOPE HEX(1) ENTRY_LINE_END LINE_END", 1, ""},
        GrammarCase{"NewHeadInsideContinued",
                    "NAME_PART(a) ADDRESS_KIND SCOPE HEX(1) ENTRY_LINE_END "
                    "NAME_PART(b) ADDRESS_KIND SCOPE HEX(1) ENTRY_LINE_END",
                    1, ""},
        GrammarCase{"SingleLineInsideContinued",
                    "NAME_PART(a) ADDRESS_KIND SCOPE HEX(1) ENTRY_LINE_END " + kB, 1, ""},
        GrammarCase{"BadTokenAfterCompleteEntry", kMain + kB + "ENTRY_LINE_END " + kMain, 1,
                    "main=0x1000 b=0x2"},
        GrammarCase{"UndefinedCodeAfterEntries", kMain + kB + "#300 " + kMain, 1,
                    "main=0x1000 b=0x2"},
        GrammarCase{"UndefinedLowCode", "#65", 1, ""},
        GrammarCase{"NegativeCodeIsEndOfInput", kMain + "#-1 " + kB, 0, "main=0x1000"}),
    Name);

TEST(Grammar, ContinuedNameIsCutAt255Characters) {
  std::string a(200, 'a'), b(100, 'b');
  SequenceRun run = RunSequence("NAME_PART(" + a +
                                ") ADDRESS_KIND SCOPE HEX(1) ENTRY_LINE_END "
                                "NAME_PART(" +
                                b + ") ENTRY_LINE_END WORD(c) ENTRY_LINE_END");
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.records, a + std::string(55, 'b') + "=0x1");
}

TEST(Grammar, RecordIsAppendedBeforeTheNextTokenIsRead) {
  GrammarState state;
  RecordList records;
  ParseReport report;
  test::SequenceSource source;
  source.tokens = test::ParseSequence(kMain + "#300");
  source.records = &records;
  MapActions actions{state, records, report, nullptr};
  EXPECT_EQ(RunEngine(kMapTables, source, actions), 1);
  ASSERT_EQ(source.counts_at_read.size(), 6u) << "no token is read after the offending one";
  EXPECT_EQ(source.counts_at_read[4], 0);
  EXPECT_EQ(source.counts_at_read[5], 1);
  FreeAll(records);
}

// The same grammar from map text, through the scanner.
struct TextRun {
  int result;
  std::string records;
  int line;
  std::string token_text;
};

TextRun ParseText(const std::string& text) {
  test::ScannerOnFile on(text);
  GrammarState state;
  RecordList records;
  ParseReport report;
  TextRun run;
  run.result = ParseTokens(on.get(), state, records, report);
  run.records = DescribeRecords(records);
  run.line = on.get().line_counter;
  run.token_text = on.get().token_text;
  FreeAll(records);
  return run;
}

TEST(GrammarText, WorkedExampleOfNineLines) {
  TextRun run = ParseText(
      "Symbol table\n\n main Addr. g 0x1000\n start_loop loc. s 0x102A\n counter Var. g 0x3000\n"
      " InitSerialPort+ Addr. g 0x2000\n 2And+\n Buff+\n ers\n");
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.records, "main=0x1000 start_loop=0x102A InitSerialPort2AndBuffers=0x2000");
}

TEST(GrammarText, CasesFromMapText) {
  struct Case {
    std::string text;
    TextRun expected;
  } cases[] = {
      {"", {1, "", 1, ""}},
      {"heading\n\nno space\n", {0, "", 4, ""}},
      {" a Addr. g 0x1\n b Var. g 0x2\n c loc. a 0x3\n", {0, "a=0x1 c=0x3", 4, ""}},
      {" a Addr. g 0x1\n b Addr. g 0x2 x.obj\n c loc. a 0x3\n", {1, "a=0x1", 3, "\n"}},
      {" a Addr. g 0x1\n p+ Func. g 0x2\n q+\n r\n c loc. a 0x3\n", {0, "a=0x1 c=0x3", 6, ""}},
      {" a Addr. g 0x1\n p+ Addr. g 0x2\n\n", {1, "a=0x1", 4, "\n"}},
      {" a Addr. g 0x1\n p+ Addr. g 0x2\n q", {1, "a=0x1", 3, ""}},
      {" a Addr. g 0x123456789\n b Addr. g 0x2\n", {0, "b=0x2", 3, ""}},
      {" a Addr.\n a Addr.\n", {0, "", 3, ""}},
      {" a Addr.\n g\n", {1, "", 3, "\n"}},
      {" a Addr. g 0x1\n 12 Addr. g 0x1\n", {1, "a=0x1", 2, "Addr."}},
  };
  for (const Case& c : cases) {
    TextRun run = ParseText(c.text);
    EXPECT_EQ(run.result, c.expected.result) << c.text;
    EXPECT_EQ(run.records, c.expected.records) << c.text;
    EXPECT_EQ(run.line, c.expected.line) << c.text;
    EXPECT_EQ(run.token_text, c.expected.token_text) << c.text;
  }
}

}  // namespace
}  // namespace k8map
