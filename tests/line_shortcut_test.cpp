// SPDX-License-Identifier: MIT
// Taking whole lines at once must give exactly what reading them token by token gives.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "api/library.h"
#include "api/symbol_table.h"
#include "grammar_test_util.h"
#include "scanner/line_readers.h"
#include "test_util.h"

namespace k8map {
namespace {

// Cases in thousands; fewer under Wine, where every file costs more.
#ifdef _WIN32
constexpr int kScale = 200;
#else
constexpr int kScale = 1000;
#endif

// Lines built from the pieces the rules care about, mostly well formed, often slightly off.
std::string RandomLine(std::mt19937& random) {
  static const char* const kLeads[] = {"  ", " ", "\t", " \t ", "", "    ", " \f"};
  static const char* const kNames[] = {
      "main",  "_x9",  "a",
      "9ab",   "ab-c", "name_",
      "n\xe9", "Q",    "a_very_long_symbol_name_that_runs_past_sixty_four_bytes_x"};
  static const char* const kKinds[] = {"Addr.", "loc.", "EQU",   "bit",    "Func.",  "Var.",
                                       "arg.",  "Addr", "EQUAL", "addr.",  "Func.g", "bits",
                                       "EQU-",  "bit.", "EQU.",  "Addr.x", "loc-",   "Var.-",
                                       "arg.a", "bi",   "E"};
  static const std::string kScopes[] = {"g", "a", "s", "ag", "x", "g.", "g1", "s-", {"a\0", 2}};
  static const char* const kValues[] = {"0x1F",
                                        "0x0",
                                        "0xffffffff",
                                        "0x123456789",
                                        "0X20",
                                        "0x20(3)",
                                        "0x20(34)",
                                        "0x1FG",
                                        "0x",
                                        "0xaB(9)",
                                        "0x1(",
                                        "0x00000001",
                                        "0x1-",
                                        "0x-1",
                                        "0x1_",
                                        "0x12345678(0)",
                                        "0x0000000000000000000000001",
                                        "0xg",
                                        "0x1(3",
                                        "0x1()"};
  static const char* const kTails[] = {"",     " [4]", " *", "  foo-bar *[2]", " x.obj", " :", "\t",
                                       " \f ", "(3)",  " 7"};
  static const char* const kBlanks[] = {" ",
                                        "  ",
                                        "\t",
                                        " \f",
                                        "   \t ",
                                        "                    ",
                                        "                                        "};
  auto pick = [&](const auto& list) { return std::string(list[random() % std::size(list)]); };
  auto blank = [&] { return pick(kBlanks); };
  switch (random() % 10) {
    case 0:
      return pick(kLeads) + "heading text\n";
    case 1:
      return "\n";
    case 2:
      return pick(kLeads) + pick(kNames) + "+\n";
    case 3:
      return pick(kLeads) + pick(kNames) + "+" + blank() + pick(kKinds) + blank() + pick(kScopes) +
             blank() + pick(kValues) + "\n";
    default:
      return pick(kLeads) + pick(kNames) + blank() + pick(kKinds) + blank() + pick(kScopes) +
             blank() + pick(kValues) + pick(kTails) + (random() % 20 == 0 ? "" : "\n");
  }
}

// A continued entry: a head with a NAME_PART, middle pieces, a last piece, each line sometimes a
// little off its plainest form.
std::string RandomContinuedEntry(std::mt19937& random) {
  static const char* const kHeads[] = {"  head+  Addr. g 0x1F\n",    "  _h9+ loc. s 0x2(3) [4]\n",
                                       "  sym+   Var. a 0xAB\n",     "  9h+ Addr. g 0x1\n",
                                       "  h+ Addr. g 0x123456789\n", "  h+\tAddr.\fg 0xff *\n",
                                       "  h++ Addr. g 0x1\n",        "  h+Addr. g 0x1\n"};
  static const char* const kMiddles[] = {"  mid+\n", "  9mid+\n", " \t m_2+  \n", "  a+b+\n",
                                         "  +\n",    "\tmid+\n",  "  mi-d+\n",    "  mid+ x\n",
                                         "  \n",     "  mid+\f\n"};
  static const char* const kLasts[] = {"  last\n",  "  9last\n", "  last  \n", "  last\f\n",
                                       "  la-st\n", "  last+\n", "  last x\n", "\n",
                                       "  EQU\n",   "  Addr.\n", "  last"};
  auto pick = [&](const auto& list) { return std::string(list[random() % std::size(list)]); };
  bool plain = random() % 2 == 0;  // mostly the forms the whole-entry reader takes
  std::string entry = plain ? kHeads[random() % 3] : pick(kHeads);
  int middles = static_cast<int>(random() % 4);
  for (int i = 0; i < middles; ++i) entry += plain ? kMiddles[random() % 3] : pick(kMiddles);
  if (random() % 5 == 0) entry += std::string(1 + random() % 12, 'n') + "+\n";
  return entry + (plain ? kLasts[random() % 4] : pick(kLasts));
}

// A whole-line reader, and for the wide one whether it finds the fields from narrow windows as
// on 32-bit processors.
struct ReaderWay {
  LineReader reader;
  bool narrow;
  const char* name;
};

// Whole lines against token by token, with each whole-line reader the processor runs.
class LineShortcut : public testing::TestWithParam<ReaderWay> {
 protected:
  void SetUp() override {
    if (!LineReaderAvailable(GetParam().reader)) GTEST_SKIP() << "this processor lacks the reader";
    fast_->parse.scanner.line_reader = GetParam().reader;
    fast_->parse.scanner.narrow_windows = GetParam().narrow;
    slow_->parse.line_shortcut = false;
  }
  // The case's text in the one file of this test (thousands of files would slow every file
  // operation under Wine).
  const std::string& Write(const std::string& text) {
    test::WriteFile(path_, text);
    return path_;
  }
  void ExpectSameOutcome(const std::string& text) {
    const std::string& path = Write(text);
    ASSERT_EQ(test::ParseOutcome(*fast_, path), test::ParseOutcome(*slow_, path)) << text;
  }
  std::unique_ptr<Library> fast_ = std::make_unique<Library>();
  std::unique_ptr<Library> slow_ = std::make_unique<Library>();
  std::string path_ = test::WriteTempFile("");
};

TEST_P(LineShortcut, SameOutcomeAsTokenByToken) {
  std::mt19937 random(7);
  int accepted = 0;
  for (int file = 0; file < kScale * 3; ++file) {
    std::string text;
    int lines = 1 + static_cast<int>(random() % 30);
    for (int i = 0; i < lines; ++i) text += RandomLine(random);
    const std::string& path = Write(text);
    std::string expected = test::ParseOutcome(*slow_, path);
    ASSERT_EQ(test::ParseOutcome(*fast_, path), expected) << text;
    accepted += expected[0] == '0';
  }
  EXPECT_GT(accepted, kScale / 20) << "the cases reach beyond the first line";
}

// Each line alone after a complete entry, where whole lines are taken.
TEST_P(LineShortcut, SameOutcomeForEveryLineAfterAnEntry) {
  std::mt19937 random(11);
  for (int i = 0; i < kScale * 20; ++i) {
    std::string line = RandomLine(random);
    if (line.empty() || line.back() != '\n') line += '\n';
    ExpectSameOutcome("  first Addr. g 0x1\n" + line + "  last loc. s 0x2\n");
    if (HasFatalFailure()) return;
  }
}

TEST_P(LineShortcut, SameOutcomeForContinuedEntries) {
  std::mt19937 random(13);
  int accepted = 0;
  for (int file = 0; file < kScale * 3; ++file) {
    std::string text = "  first Addr. g 0x1\n";
    int entries = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < entries; ++i) {
      text += random() % 3 == 0 ? RandomLine(random) : RandomContinuedEntry(random);
    }
    const std::string& path = Write(text);
    std::string expected = test::ParseOutcome(*slow_, path);
    ASSERT_EQ(test::ParseOutcome(*fast_, path), expected) << text;
    accepted += expected[0] == '0';
  }
  EXPECT_GT(accepted, kScale / 2) << "most files parse";
}

// Lines where the whole-line readers take paths of their own, each after a first entry (where
// whole lines are taken, as the first line never is).
TEST_P(LineShortcut, SameOutcomeOnTheReadersOwnPaths) {
  auto pieces = [](int count, int length) {
    std::string text = "  head+ Addr. g 0x10\n";
    for (int i = 0; i < count; ++i) {
      text += "  " + std::string(length, static_cast<char>('a' + i % 26)) + "+\n";
    }
    return text + "  tail\n";
  };
  const std::string cases[] = {
      pieces(20, 30),                 // a continued name cut at 255 characters
      pieces(3, 40),                  // piece lines of 32 to 63 bytes: read from 64 bytes, not 32
      pieces(2, 70),                  // and longer than the masks
      "  sym\f Addr. g 0x1\n",        // a form feed after a name makes it no NAME
      "  sym Addr. g 0x1\f\n",        // a form feed after the value is a blank
      "  h+ Var. a 0x2(5)\n  t\f\n",  // a form feed after a last piece
      "  " + std::string(300, 'n') + " Addr. g 0x1\n",   // a one-line name cut at 255
      "  " + std::string(9000, 'n') + " Addr. g 0x1\n",  // longer than a token's text
      "  " + std::string(9000, 'n') + " Addr. g\n",      // and no symbol
  };
  for (const std::string& text : cases) {
    ExpectSameOutcome("  first Addr. g 0x1\n" + text + "  next loc. a 0x2\n");
    if (HasFatalFailure()) return;
  }
}

TEST_P(LineShortcut, SameOutcomeOnLinesAcrossReadBoundaries) {
  std::string text;
  for (int i = 0; text.size() < 70000; ++i) {
    text += "  sym_" + std::to_string(i) + std::string(i % 23, ' ') + " Addr. g 0x" +
            std::to_string(i % 100000) + (i % 7 == 0 ? "(3) [4]\n" : "\n");
    if (i % 50 == 0) text += "Module " + std::to_string(i) + "\n\n";
    if (i % 9 == 0) text += "  part_" + std::to_string(i) + "+ loc. a 0x1\n  mid+\n  end\n";
  }
  ExpectSameOutcome(text);
}

// Symbol tables take every kind from whole lines, with its scope, bit and line: the same as
// token by token, on the same random lines and continued entries.
TEST_P(LineShortcut, TablesTakeEveryKindAsTokenByToken) {
  auto fast = std::make_unique<SymbolTable>();
  auto slow = std::make_unique<SymbolTable>();
  fast->parse.scanner.line_reader = GetParam().reader;
  fast->parse.scanner.narrow_windows = GetParam().narrow;
  slow->parse.line_shortcut = false;
  auto outcome = [](SymbolTable& table, const std::string& text) {
    std::string out = std::to_string(ParseMapText(&table, text.data(), text.size(), "m"));
    out += GetSymbolTableError(&table);
    for (std::size_t i = 0; i < table.store.count; ++i) {
      const MapSymbol& s = table.store.symbols[i];
      out += std::string(" ") + s.name + "=" + std::to_string(s.value) + "/" +
             std::to_string(s.kind) + s.scope + std::to_string(s.bit) + "@" +
             std::to_string(s.line);
    }
    FreeSymbols(table.store);
    return out;
  };
  std::mt19937 random(17);
  for (int file = 0; file < kScale * 3; ++file) {
    std::string text = "  first Var. g 0x1\n";
    int entries = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < entries; ++i) {
      text += random() % 2 == 0 ? RandomLine(random) : RandomContinuedEntry(random);
    }
    ASSERT_EQ(outcome(*fast, text), outcome(*slow, text)) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(Readers, LineShortcut,
                         testing::Values(ReaderWay{LineReader::kWide, false, "Wide"},
                                         ReaderWay{LineReader::kWide, true, "Wide32"},
                                         ReaderWay{LineReader::kWindow, false, "Window"},
                                         ReaderWay{LineReader::kSerial, false, "Serial"}),
                         [](const testing::TestParamInfo<ReaderWay>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace k8map
