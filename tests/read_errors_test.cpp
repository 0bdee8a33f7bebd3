// SPDX-License-Identifier: MIT
// What reading does when the system's reads misbehave: errors at once or later, short reads,
// reads cut short by a signal, an error that passes; and devices that deliver text in pieces (a
// FIFO, a pseudo-terminal).
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "api/library.h"
#include "grammar_test_util.h"
#include "test_files.h"
#include "test_util.h"

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace k8map {
namespace {

// The reads a test reader gives, call by call: 'd' a read of up to kPiece bytes of data, 's' a
// short one of at most 3, 'e' an error, 'E' errors from then on, 'i' a read cut short by a
// signal; after the script, data until the end.
struct ReadScript {
  const char* calls = "";
  int call = 0;
};
ReadScript g_script;
constexpr std::size_t kPiece = 100;

long ScriptedRead(int descriptor, void* buffer, std::size_t size) {
  char step = g_script.calls[g_script.call] != '\0' ? g_script.calls[g_script.call++] : 'd';
  if (step == 'E') --g_script.call;  // stays
  if (step == 'e' || step == 'E') return errno = EIO, -1;
  if (step == 'i') return errno = EINTR, -1;
  std::size_t most = step == 's' ? 3 : kPiece;
#ifdef _WIN32
  return _read(descriptor, buffer, static_cast<unsigned>(size < most ? size : most));
#else
  return static_cast<long>(read(descriptor, buffer, size < most ? size : most));
#endif
}

std::string MapText(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i)
    text += "  s" + std::to_string(i) + " Addr. g 0x" + std::to_string(i) + "\n";
  return text;
}

TEST(ReadErrors, EachReaderGivesItsOutcome) {
  std::string path = test::WriteTempFile(MapText(40));  // 16 to 17 bytes a line, 40 lines
  auto normal = std::make_unique<Library>();
  std::string all = test::ParseOutcome(*normal, path);
  struct Case {
    const char* name;
    const char* calls;
    std::string outcome;  // "" for the outcome of ordinary reads
  } cases[] = {
      {"an error at once", "e", "-1 " + path + ":1: input in flex scanner failed\n "},
      {"an error after two pieces", "ddE",
       "-1 " + path +
           ":12: input in flex scanner failed\n s0=0x0 s1=0x1 s2=0x2 s3=0x3 s4=0x4 "
           "s5=0x5 s6=0x6 s7=0x7 s8=0x8 s9=0x9 s10=0x10"},
      {"short reads", "sssssssssssssssssssssssssssssssssssss", ""},
      {"reads cut short by signals", "ididiiiid", ""},
      // The error is kept, as a C stream's error indicator: the data after it is read, and the
      // end of the input, which delivers nothing, is the failure.
      {"an error that passes", "dedd",
       "-1 " + path + ":41: input in flex scanner failed\n" + all.substr(all.find(' ', 2))},
  };
  for (const Case& c : cases) {
    auto lib = std::make_unique<Library>();
    lib->parse.scanner.read = ScriptedRead;
    g_script = {c.calls, 0};
    EXPECT_EQ(test::ParseOutcome(*lib, path), c.outcome.empty() ? all : c.outcome) << c.name;
  }
}

#ifndef _WIN32
// A writer that delivers lines in pieces, pausing between them, then ends with `end`.
void WriteInPieces(int descriptor, const std::string& text, const std::string& end) {
  for (std::size_t at = 0; at < text.size(); at += 7) {
    std::string piece = text.substr(at, 7);
    if (write(descriptor, piece.data(), piece.size()) < 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!end.empty() && write(descriptor, end.data(), end.size()) < 0) return;
}

TEST(ReadErrors, FifoDeliveringTextInPieces) {
  std::string path = test::TempFolderPath("pieces.fifo");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  std::thread writer([&] {
    int fd = open(path.c_str(), O_WRONLY);
    if (fd < 0) return;
    WriteInPieces(fd, MapText(20), "");
    close(fd);
  });
  auto lib = std::make_unique<Library>();
  std::string outcome = test::ParseOutcome(*lib, path);
  writer.join();
  auto expected = std::make_unique<Library>();
  EXPECT_EQ(outcome, test::ParseOutcome(*expected, test::WriteTempFile(MapText(20))));
}

// A terminal's lines arrive one by one, read up to each line feed; the end of its input (^D)
// ends the map, a hang-up (the other side gone: reads fail) is a read error. Its carriage
// returns are dropped and a Ctrl-Z ends the map as in a file (the terminal passes both on).
TEST(ReadErrors, TerminalDeliveringLines) {
  std::string records = " s0=0x0 s1=0x1 s2=0x2 s3=0x3 s4=0x4";
  std::string crlf = MapText(5);
  for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2)
    crlf.insert(at, "\r");
  struct Case {
    std::string text, end;
    bool hang_up;
    std::string outcome;  // the device's name goes after "-1 "
  } cases[] = {
      {MapText(5), "\x04", false, "0 " + records},
      {MapText(5), "", true, ":6: input in flex scanner failed\n" + records},
      {crlf + "\x1a  late Addr. g 0x9\n", "\x04", false, "0 " + records},
  };
  for (const Case& c : cases) {
    int master = -1, terminal = -1;
    char name[256];
    ASSERT_EQ(openpty(&master, &terminal, name, nullptr, nullptr), 0);
    termios settings;
    tcgetattr(terminal, &settings);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ISIG);  // nobody reads the echo
    settings.c_iflag &= ~static_cast<tcflag_t>(ICRNL);
    tcsetattr(terminal, TCSANOW, &settings);
    std::thread writer([&] {
      WriteInPieces(master, c.text, c.end);
      if (c.hang_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        close(master);
      }
    });
    auto lib = std::make_unique<Library>();
    std::string outcome = test::ParseOutcome(*lib, name);
    writer.join();
    if (!c.hang_up) close(master);
    close(terminal);
    EXPECT_EQ(outcome, c.hang_up ? "-1 " + std::string(name) + c.outcome : c.outcome);
  }
}
#endif

}  // namespace
}  // namespace k8map
