// SPDX-License-Identifier: MIT
// Notes on the lines that made no symbol: each reason on a line of its own, continued names,
// the rest after a failure, and, on random maps, the notes' agreement with the parse.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "../fuzz/notes_invariant.h"
#include "api/symbol_table.h"
#include "kestrum8_map.h"

namespace k8map {
namespace {

// "LINE:COLUMN:REASON" per note, space-separated.
std::string NotesOf(const std::string& text) {
  SymbolTable* table = CreateSymbolTable();
  SetSymbolTableFlags(table, K8MAP_TABLE_NOTES);
  ParseMapText(table, text.data(), text.size(), "m");
  std::string out;
  for (std::size_t i = 0; i < GetNoteCount(table); ++i) {
    const MapNote& n = GetNotes(table)[i];
    out += (out.empty() ? "" : " ") + std::to_string(n.line) + ":" + std::to_string(n.column) +
           ":" + std::to_string(n.reason);
  }
  const char* broken = NotesInvariantBroken(text, table);
  EXPECT_EQ(broken, nullptr) << broken << " in " << text;
  FreeSymbolTable(table);
  return out;
}

TEST(Notes, EachReasonOnALineOfItsOwn) {
  const std::string long_name(300, 'n'), long_value = "0x" + std::string(300, '0');
  struct Case {
    std::string text;
    std::string notes;
  } cases[] = {
      {" a Addr. g 0x1\n", ""},
      {"\tb Addr. g 0x1\n", "1:1:1"},
      {" b\vAddr. g 0x1\n", "1:3:2"},
      {"  Addr. g 0x1000\n", "1:3:3"},
      {" 9x Addr. g 0x10\n", "1:2:4"},
      {" a.b Addr. g 0x10\n", "1:3:5"},
      {" a+b Addr. g 0x10\n", "1:3:6"},
      {" main_Addr. g 0x10\n", "1:7:7"},
      {" main\fAddr. g 0x10\n", "1:6:8"},
      {" ADDR. g 0x10 \n", "1:2:3"},
      {" a ADDR. g 0x10\n", "1:4:10"},
      {" a addr g 0x10\n", "1:4:11"},
      {" a g 0x10\n", "1:4:12"},
      {" a Address g 0x10\n", "1:4:13"},
      {" a Addr.\n", "1:9:14"},
      {" a Addr. G 0x10\n", "1:10:15"},
      {" a Addr. 0x10\n", "1:10:16"},
      {" a Addr. S 0x10\n", "1:10:15"},
      {" a x 0x10\n", "1:4:13"},
      {" a Addr. g 5\n", "1:12:22"},
      {" a Addr. ag 0x10\n", "1:10:17"},
      {" a Addr. g\n", "1:11:18"},
      {" a Addr. g 0X10\n", "1:12:19"},
      {" a Addr. g 0x\n", "1:12:20"},
      {" a Addr. g 0xZZ\n", "1:12:21"},
      {" a Addr. g 1000\n", "1:12:22"},
      {" a Addr. g 0x123456789\n", "1:12:23"},
      {" a Addr. g " + long_value + "\n", "1:12:24"},
      {" a Addr. g 0x1 x.obj\n", "1:16:25"},
      {" a Addr. g 0x1 \xC2\xA0x\n", "1:16:25"},
      {" " + long_name + " Addr. g 0x1\n", "1:2:32"},
      {" EQU\n", "1:2:30"},
      {" loc+\n", "1:2:30"},
      {" a Addr. g 0x1\n  addr", "2:3:30"},
      {" " + long_name + "x\v" + long_name + " Addr. g 0x1\n", "1:303:2"},
      {" a Addr. g 0x1", "1:15:31"},
      {" a Addr. g 0x1\nEnd", ""},
      {" a Addr. g 0x1\n b Addr. g 0x2", "2:15:31"},
      {" a Addr. g 0x1\n\x1a junk Addr. g 0x2\n", ""},
      {" a Addr. g 0x1\r\n\x1a", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(NotesOf(c.text), c.notes) << c.text;
}

TEST(Notes, ContinuedNamesAndTheRestAfterAStop) {
  struct Case {
    std::string text;
    std::string notes;
  } cases[] = {
      {" a+ Addr. g 0x1\n b\n", ""},
      {" a+ Addr. g 0x1\n" + std::string(" ") + std::string(150, 'b') + "+\n " +
           std::string(150, 'c') + "\n",
       "1:2:32"},
      {" a+ Addr. g 0x1\n\n b Addr. g 0x2\n", "1:2:27 3:1:33"},
      {" a+ Addr. g 0x1\n b+ Addr. g 0x2\n c Addr. g 0x3\n", "1:2:27 2:5:29 3:1:33"},
      {" a+ Addr. g 0x1\n b+\n", "1:2:28"},
      {" a+ Addr. g 0x1\n b", "1:2:28"},
      {" a+ Addr. g 0x1\n b Addr. g 0x2", "1:2:27 2:4:29"},
      {" a+ Addr. g 0x1\n " + std::string(9000, 'p') + "+\n c\n", "1:2:27 3:1:33"},
      {" " + std::string(9000, 'w') + " " + std::string(9000, 'v') + " Addr. g 0x1\n", "1:2:26"},
      {" a+ Addr. g 0x123456789\n b\n", "1:13:23"},
      {" a+ Addr. g 0x123456789\n loc+\n 0x1\n", "1:13:23 2:2:34 3:2:34"},
      {" a Addr. g 0x1 x.y\n b Addr. g 0x2\n c Addr. g 0x3\n", "1:16:25 2:1:33"},
      {" a Addr. g 0x1 x.y\n", "1:16:25"},
      {" " + std::string(9000, 'w') + " Addr. g 0x1\n b Addr. g 0x2\n", "1:2:26 2:1:33"},
  };
  for (const Case& c : cases) EXPECT_EQ(NotesOf(c.text), c.notes) << c.text;
}

// Refuses to move or resize the array once it is made.
void* RefuseGrowth(void* memory, std::size_t size) {
  return memory == nullptr ? std::realloc(memory, size) : nullptr;
}

TEST(Notes, LinesWhoseSymbolsWereLost) {
  auto table = std::make_unique<SymbolTable>();
  table->store.reallocate = RefuseGrowth;
  SetSymbolTableFlags(table.get(), K8MAP_TABLE_NOTES);
  // Room for three symbols, made ahead from the text's size (70 bytes).
  std::string text = " a Addr. g 0x1\n b Addr. g 0x2\n c Addr. g 0x3\n d+ Addr. g 0x4\n loc\n";
  EXPECT_EQ(ParseMapText(table.get(), text.data(), text.size(), "m"), -1);
  EXPECT_EQ(GetSymbolTableErrorCode(table.get()), K8MAP_ERROR_MEMORY);
  std::string notes;
  for (std::size_t i = 0; i < GetNoteCount(table.get()); ++i) {
    const MapNote& n = GetNotes(table.get())[i];
    notes += std::to_string(n.line) + ":" + std::to_string(n.reason) + " ";
  }
  EXPECT_EQ(notes, "4:35 5:34 ");
  EXPECT_EQ(NotesInvariantBroken(text, table.get()), nullptr);
}

TEST(Notes, WithoutTheFlagNoneAreKept) {
  SymbolTable* table = CreateSymbolTable();
  std::string text = "\tb Addr. g 0x1\n";
  ParseMapText(table, text.data(), text.size(), "m");
  EXPECT_EQ(GetNoteCount(table), 0u);
  EXPECT_EQ(GetNotes(table), nullptr);
  EXPECT_EQ(GetNoteText(0), nullptr);
  EXPECT_EQ(GetNoteText(K8MAP_NOTE_LAST + 1), nullptr);
  for (int reason = 1; reason <= K8MAP_NOTE_LAST; ++reason) EXPECT_NE(GetNoteText(reason), nullptr);
  FreeSymbolTable(table);
}

TEST(Notes, LinesAsTheParsesReadThem) {
  SymbolTable* table = CreateSymbolTable();
  SetSymbolTableFlags(table, K8MAP_TABLE_NOTES);
  std::string first = " a Addr. g 0x1\r\n\tb Ad\rdr. g 0x1\r\n", second = " c Addr. G 0x2\x1a x";
  ParseMapText(table, first.data(), first.size(), "m");
  ParseMapText(table, second.data(), second.size(), "n");
  std::size_t length = 0;
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < GetNoteCount(table); ++i) {
    const char* line = GetNoteLine(table, i, &length);
    lines.emplace_back(line, length);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"\tb Addr. g 0x1", " c Addr. G 0x2"}));
  EXPECT_EQ(GetNoteLine(table, 2, &length), nullptr);
  EXPECT_EQ(GetNoteLine(table, 0, nullptr), nullptr);
  EXPECT_EQ(GetNoteLine(nullptr, 0, &length), nullptr);
  FreeSymbolTable(table);
}

TEST(Notes, AgreeWithTheParseOnRandomMaps) {
  static const char* const kPieces[] = {
      " a Addr. g 0x1",
      " b loc. s 0x20(3)",
      " c+ Func. g 0x30",
      " d+",
      " e",
      " 12+",
      "Heading",
      "",
      "  ",
      "\tx Var. g 0x1",
      " y addr g 0x2",
      " z Addr. 0x3",
      " w EQU g 0X4",
      " v Var. g 0x1 junk.o",
      " u bit s 0x123456789",
      " ADDR g",
      " t Addr. g 0x2 [4] -x*",
      " s\vAddr. g 0x1",
      " r Func. g 0x1\r",
      "\x1a",
      " q+ Var. a 0x9",
      " loc.",
      " p.q Var. g 0x1",
      " x 0xQ1 y",
  };
  std::mt19937 random(5);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int lines = 1 + static_cast<int>(random() % 12);
    for (int i = 0; i < lines; ++i) {
      text += kPieces[random() % (sizeof kPieces / sizeof kPieces[0])];
      if (i + 1 < lines || random() % 4 != 0) text += '\n';
    }
    NotesOf(text);
  }
}

}  // namespace
}  // namespace k8map
