// SPDX-License-Identifier: MIT
// MapParse's behaviour on fresh library instances: messages, kept records, mended faults.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>

#include "api/error_message.h"
#include "api/library.h"
#include "grammar/parse_tokens.h"
#include "grammar_test_util.h"
#include "test_util.h"

namespace k8map {
namespace {

using test::DescribeRecords;
using test::WriteTempFile;

struct Parsed {
  int result;
  std::string message;
  std::string records;
};

class MapParseTest : public ::testing::Test {
 protected:
  Parsed Parse(const std::string& path) {
    int result = RunMapParse(*lib_, path.c_str());
    return {result, lib_->parse.error_message, DescribeRecords(lib_->records)};
  }
  Parsed ParseText(const std::string& text) { return Parse(WriteTempFile(text)); }
  void TearDown() override { FreeAll(lib_->records); }

  std::unique_ptr<Library> lib_ = std::make_unique<Library>();
};

std::string Syntax(const std::string& path, int line, const std::string& token) {
  return path + ":" + std::to_string(line) + ": syntax error. \"" + token + "\" is invalid.\n";
}

TEST_F(MapParseTest, MissingFileCannotBeOpened) {
  std::string path = WriteTempFile("") + ".absent";
  EXPECT_EQ(Parse(path).result, -1);
  EXPECT_EQ(std::string(lib_->parse.error_message), "can't open file " + path + "\n");
}

TEST_F(MapParseTest, DirectoryAndEmptyPathCannotBeOpened) {
  std::string dir = std::filesystem::temp_directory_path().string();
  EXPECT_EQ(Parse(dir).message, "can't open file " + dir + "\n");
  EXPECT_EQ(Parse("").message, "can't open file \n");
}

TEST_F(MapParseTest, NullPathCannotBeOpened) {
  EXPECT_EQ(RunMapParse(*lib_, nullptr), -1);
  EXPECT_STREQ(lib_->parse.error_message, "can't open file (null)\n");
}

TEST_F(MapParseTest, SyntaxErrorsNameFileLineAndToken) {
  struct Case {
    std::string text;
    int line;
    std::string token;
  } cases[] = {
      {"", 1, ""},
      {" 12 Addr. g 0x1\n", 1, "Addr."},
      {" a Addr. g 0x1 x.o\n", 2, "\n"},
      {"head\n a Addr. g 0x1\n b Var. g\n", 4, "\n"},
      {" a Addr. g 0x1\n p+ Addr. g 0x2\n", 3, ""},
  };
  for (const Case& c : cases) {
    std::string path = WriteTempFile(c.text);
    Parsed parsed = Parse(path);
    EXPECT_EQ(parsed.result, -1) << c.text;
    EXPECT_EQ(parsed.message, Syntax(path, c.line, c.token)) << c.text;
  }
}

TEST_F(MapParseTest, RecordsAccumulateAndSurviveFailures) {
  EXPECT_EQ(ParseText(" a Addr. g 0x1\n").result, 0);
  EXPECT_EQ(ParseText(" b loc. s 0x2\n bad-line Addr. g 0x3\n c Addr. g 0x3\n x\n").result, -1);
  Parsed last = ParseText(" d Addr. a 0x4\n");
  EXPECT_EQ(last.result, 0);
  EXPECT_EQ(last.records, "a=0x1 b=0x2 c=0x3 d=0x4");
}

TEST_F(MapParseTest, ErrorTextIsEmptyFirstAndKeptAcrossSuccess) {
  EXPECT_STREQ(lib_->parse.error_message, "");
  std::string bad = WriteTempFile("");
  Parse(bad);
  EXPECT_EQ(ParseText(" a Addr. g 0x1\n").result, 0);
  EXPECT_EQ(std::string(lib_->parse.error_message), Syntax(bad, 1, ""));
}

TEST_F(MapParseTest, SecondParseAfterFailureCountsLinesFromOne) {
  ParseText("\n\n\n a Addr. g 0x1 ab\n\n b Addr");
  std::string path = WriteTempFile("\n 7 Addr.\n");
  EXPECT_EQ(Parse(path).message, Syntax(path, 2, "Addr."));
}

TEST_F(MapParseTest, FatalScannerFailureIsAnErrorAndTheNextParseWorks) {
  std::string path = WriteTempFile(" a Addr. g 0x1\n\n\n" + std::string(9000, ' ') + "x\n");
  Parsed parsed = Parse(path);
  EXPECT_EQ(parsed.result, -1);
  EXPECT_EQ(parsed.message, path + ":4: token too large, exceeds YYLMAX\n");
  EXPECT_EQ(parsed.records, "a=0x1");
  Parsed next = ParseText(" b Addr. g 0x2\n");
  EXPECT_EQ(next.result, 0);
  EXPECT_EQ(next.records, "a=0x1 b=0x2");
}

TEST_F(MapParseTest, LongMessagesAreCutAndEndWithALineFeed) {
  std::string long_token = "9" + std::string(8000, 'q') + "+";
  std::string path = WriteTempFile(" a Addr. g 0x1\n " + long_token + "\n");
  Parsed token_error = Parse(path);
  EXPECT_EQ(token_error.message, Syntax(path, 2, long_token).substr(0, 254) + "\n");
  EXPECT_EQ(token_error.records, "a=0x1");

  std::string long_path = std::string(300, 'p');
  Parsed open_error = Parse(long_path);
  EXPECT_EQ(open_error.message, ("can't open file " + long_path).substr(0, 254) + "\n");
}

int g_allocations = 0;
void* FailSecondChunk(std::size_t size) {
  return ++g_allocations == 2 ? nullptr : std::malloc(size);
}

TEST_F(MapParseTest, LostRecordsAreReportedAsOutOfMemory) {
  g_allocations = 0;
  lib_->records.source.allocate = FailSecondChunk;  // the first record's name cannot be copied
  std::string path = WriteTempFile("head\n a Addr. g 0x1\n b Addr. g 0x2\n c Var. g 0x2\n");
  Parsed parsed = Parse(path);
  EXPECT_EQ(parsed.result, -1);
  EXPECT_EQ(parsed.message, path + ":2: out of memory\n");
  EXPECT_EQ(parsed.records, "b=0x2");

  FreeAll(lib_->records);
  std::string syntax = WriteTempFile(" z Addr. g 0x9\n ok Addr. g 0x8 .\n");
  g_allocations = 1;
  EXPECT_EQ(Parse(syntax).message, Syntax(syntax, 3, "\n")) << "a syntax error takes its place";
}

void* ThrowOnAllocation(std::size_t) {
  throw std::bad_alloc();
}

// An exception inside a parse (none is thrown there today) still closes the file, forgets the
// helper and leaves a message; the exported function turns it into -1.
TEST_F(MapParseTest, AnExceptionLeavesTheParseClean) {
  lib_->records.source.allocate = ThrowOnAllocation;
  lib_->parse.chunk_supply_threshold = 0;  // with the helper
  std::string path = WriteTempFile("head\n a Addr. g 0x1\n");
  auto open_files = [] {
    std::size_t count = 0;
#ifdef __linux__
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
      (void)entry, ++count;
#endif
    return count;
  };
  std::size_t before = open_files();
  for (int i = 0; i < 3; ++i) EXPECT_THROW(RunMapParse(*lib_, path.c_str()), std::bad_alloc);
  EXPECT_EQ(open_files(), before) << "the file is closed";
  EXPECT_STREQ(lib_->parse.error_message, (path + ":3: out of memory\n").c_str());
  EXPECT_EQ(lib_->records.source.supply, nullptr);
  EXPECT_EQ(lib_->parse.scanner.stream.file, nullptr);
  lib_->records.source.allocate = nullptr;
  EXPECT_EQ(RunMapParse(*lib_, path.c_str()), 0);
}

TEST_F(MapParseTest, ThousandsOfParsesNeverRunOutOfStreams) {
  std::string path = WriteTempFile(" a Addr. g 0x1\n");
  std::string bad = WriteTempFile(" a Addr. g 0x1\n x");
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(RunMapParse(*lib_, path.c_str()), 0) << i;
    ASSERT_EQ(RunMapParse(*lib_, bad.c_str()), -1) << i;
  }
  EXPECT_EQ(Count(lib_->records), 6000);
}

// Past 2^31 lines the line counter goes on (a 32-bit one turned negative there), on both ways of
// reading, and a message prints the whole number. The counter starts near the limit, as after
// two thousand million lines.
TEST(LineNumbers, GoOnPastTwoToTheThirtyOne) {
  constexpr LineNumber kStart = (LineNumber{1} << 31) - 1;
  for (bool shortcut : {true, false}) {
    test::ScannerOnFile on(" a Addr. g 0x1\n b Var. g 0x2\n c loc. s 0x3\n x Addr. g 0x4 y.z\n");
    on.get().line_counter = kStart;
    GrammarState grammar;
    SymbolStore store;
    ParseReport report;
    EXPECT_EQ(ParseTokens(on.get(), grammar, store, report, nullptr, shortcut), 1);
    EXPECT_EQ(on.get().line_counter, kStart + 4) << "the line after the bad line end";
    ASSERT_EQ(store.count, 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(store.symbols[i].line, static_cast<std::uint32_t>(kStart + i)) << shortcut;
    }
    FreeSymbols(store);
  }
  char message[kErrorMessageSize];
  ErrorMessage(message, sizeof message).Text("m:").Number(kStart + 4).Text(": x").Finish();
  EXPECT_STREQ(message, "m:2147483651: x\n");
}

}  // namespace
}  // namespace k8map
