// Taking whole lines at once must give exactly what reading them token by token gives.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "api/library.h"
#include "grammar_test_util.h"
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

std::string Outcome(Library& lib, const std::string& path) {
  int result = RunMapParse(lib, path.c_str());
  std::string out = std::to_string(result) + " " + (result != 0 ? lib.error_message : "") + " " +
                    test::DescribeRecords(lib.records);
  FreeAll(lib.records);
  return out;
}

TEST(LineShortcut, SameOutcomeAsTokenByToken) {
  auto fast = std::make_unique<Library>();
  auto slow = std::make_unique<Library>();
  slow->line_shortcut = false;
  std::mt19937 random(7);
  int accepted = 0;
  for (int file = 0; file < kScale * 3; ++file) {
    std::string text;
    int lines = 1 + static_cast<int>(random() % 30);
    for (int i = 0; i < lines; ++i) text += RandomLine(random);
    std::string path = test::WriteTempFile(text);
    std::string expected = Outcome(*slow, path);
    ASSERT_EQ(Outcome(*fast, path), expected) << text;
    accepted += expected[0] == '0';
  }
  EXPECT_GT(accepted, kScale / 20) << "the cases reach beyond the first line";
}

// Each line alone after a complete entry, where whole lines are taken.
TEST(LineShortcut, SameOutcomeForEveryLineAfterAnEntry) {
  auto fast = std::make_unique<Library>();
  auto slow = std::make_unique<Library>();
  slow->line_shortcut = false;
  std::mt19937 random(11);
  std::string text;
  std::vector<std::string> lines;
  for (int i = 0; i < kScale * 20; ++i) {
    std::string line = RandomLine(random);
    if (line.empty() || line.back() != '\n') line += '\n';
    lines.push_back(line);
  }
  for (const std::string& line : lines) {
    std::string path = test::WriteTempFile("  first Addr. g 0x1\n" + line + "  last loc. s 0x2\n");
    ASSERT_EQ(Outcome(*fast, path), Outcome(*slow, path)) << line;
  }
}

TEST(LineShortcut, SameOutcomeOnLinesAcrossReadBoundaries) {
  auto fast = std::make_unique<Library>();
  auto slow = std::make_unique<Library>();
  slow->line_shortcut = false;
  std::string text;
  for (int i = 0; text.size() < 70000; ++i) {
    text += "  sym_" + std::to_string(i) + std::string(i % 23, ' ') + " Addr. g 0x" +
            std::to_string(i % 100000) + (i % 7 == 0 ? "(3) [4]\n" : "\n");
    if (i % 50 == 0) text += "Module " + std::to_string(i) + "\n\n";
  }
  std::string path = test::WriteTempFile(text);
  EXPECT_EQ(Outcome(*fast, path), Outcome(*slow, path));
}

}  // namespace
}  // namespace k8map
