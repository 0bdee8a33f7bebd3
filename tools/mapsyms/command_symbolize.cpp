// SPDX-License-Identifier: MIT
// mapsyms symbolize [--only] [--max-offset N] MAP [FILE...]: copies text (the files, or
// standard input) with every address that falls within a record annotated as "0x0000105C
// <uart_wait_tx>" or "0x00001062 <uart_wait_tx+0x6>"; every other byte unchanged. With --only,
// one line per address instead: "0x%08X<TAB>name+0xOFF" or "0x%08X<TAB>??". Reads in blocks as
// the text arrives: any length of text in constant memory beyond the records, and a log that
// is still being written is answered as it comes.
#include <cstdio>
#include <cstring>
#include <string>

#include "both_halves.h"
#include "commands.h"
#include "exit_codes.h"
#include "maps.h"
#include "messages.h"
#include "number.h"
#include "stream_reader.h"

namespace {

// An address in the text: "0x" or "0X" and hexadecimal digits of at most 32 bits of value
// (leading zeros allowed), standing alone: neither preceded nor followed by a letter, digit or
// underscore. Longer digit runs than this are left as they are.
constexpr std::size_t kLongestAddress = 2 + 64;

bool WordByte(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

void Prefetch(const void* p) {
#if defined(__GNUC__) || defined(__clang__)
  if (p != nullptr) __builtin_prefetch(p);
#else
  (void)p;
#endif
}

class Symbolizer {
 public:
  Symbolizer(const MapLibrary& lib, const SymbolTable* table, std::uint32_t max_offset, bool only,
             Output& out)
      : lib_(lib), table_(table), max_offset_(max_offset), only_(only), out_(out) {}

  // Copies the bytes of text, annotating addresses; a possible address cut by the end of
  // text is kept back for the next call (or Finish).
  void Feed(const char* text, std::size_t length) {
    pending_.append(text, length);
    Process(false);
  }

  void Finish() {
    Process(true);
    previous_ = 0;
  }

 private:
  struct Found {
    std::size_t end;  // just past the address in pending_
    std::uint32_t address;
  };

  // What one piece of the text keeps from block to block: its addresses and their symbols.
  struct Piece {
    std::vector<Found> found;
    std::vector<std::uint32_t> addresses;
    std::vector<const MapSymbol*> symbols;
  };

  // The second piece's output, gathered while the first piece is written.
  struct TextSink {
    std::string text;
    char* Reserve(std::size_t length) {
      text.resize(text.size() + length);
      return text.data() + text.size() - length;
    }
    void Put(std::string_view more) { text.append(more); }
  };

  // Writes pending_ with the annotations, keeping back what may be cut by its end. A long
  // text is done in two pieces at once, split after a line end near its middle (no address
  // spans it): the second by a thread of its own into a buffer written out after the first.
  void Process(bool at_end) {
    std::size_t split = SplitPoint();
    std::size_t done = 0;
    if (split == 0) {
      done = Run(0, pending_.size(), at_end, pieces_[0], out_);
    } else {
      BothHalves(true, [&](int piece) {
        if (piece == 0) {
          Run(0, split, true, pieces_[0], out_);
        } else {
          done = Run(split, pending_.size(), at_end, pieces_[1], aside_);
        }
      });
      out_.Put(aside_.text);
      aside_.text.clear();
    }
    if (done > 0) previous_ = static_cast<unsigned char>(pending_[done - 1]);
    pending_.erase(0, done);
  }

  // Just past a line end near the middle of a long pending_; 0 when it is not worth a thread
  // or has no line end there.
  std::size_t SplitPoint() const {
    std::size_t n = pending_.size();
    if (n < kTwoPiecesFrom) return 0;
    const void* line_end = std::memchr(pending_.data() + n / 2, '\n', n - n / 2);
    if (line_end == nullptr) return 0;
    std::size_t split =
        static_cast<std::size_t>(static_cast<const char*>(line_end) - pending_.data()) + 1;
    return split < n ? split : 0;
  }

  // Finds the addresses in pending_[from, to) and writes that text with the annotations into
  // sink; returns the end of what was written: without at_end, an address that may go on past
  // `to` is left for the next block.
  template <class Sink>
  std::size_t Run(std::size_t from, std::size_t to, bool at_end, Piece& piece, Sink& sink) {
    std::size_t done = Scan(from, to, at_end, piece.found);
    EmitRange(piece, from, done, sink);
    return done;
  }

  std::size_t Scan(std::size_t from, std::size_t n, bool at_end, std::vector<Found>& found) const {
    found.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(pending_.data());
    std::size_t i = from;
    while (i < n) {
      const void* zero = std::memchr(p + i, '0', n - i);
      if (zero == nullptr) break;
      i = static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - p);
      unsigned char before = i > 0 ? p[i - 1] : previous_;
      if (WordByte(before)) {
        ++i;
        continue;
      }
      if (i + 1 >= n) {
        if (at_end) break;
        return i;
      }
      if (p[i + 1] != 'x' && p[i + 1] != 'X') {
        ++i;
        continue;
      }
      // The digits, their value gathered as they are read (once past 32 bits, it stays past).
      std::size_t end = i + 2;
      std::uint32_t value = 0;
      bool too_wide = false;
      for (int digit; end < n && end - i <= kLongestAddress && (digit = HexDigitValue(p[end])) >= 0;
           ++end) {
        too_wide |= (value >> 28) != 0;
        value = value << 4 | static_cast<std::uint32_t>(digit);
      }
      if (end == n && !at_end && end - i <= kLongestAddress) return i;
      bool alone = end > i + 2 && end - i <= kLongestAddress && (end == n || !WordByte(p[end]));
      if (alone && !too_wide) found.push_back({end, value});
      i = end;
    }
    return n;
  }

  // Writes the text from `from` up to `to` with the addresses found annotated into sink. The
  // addresses are looked up kChunk at a time (the library fetches ahead what later lookups read,
  // and the symbols found are still at hand when their chunk is written); as the text is
  // written, each symbol's name is asked for kNameAhead addresses ahead.
  template <class Sink>
  void EmitRange(Piece& piece, std::size_t from, std::size_t to, Sink& sink) const {
    constexpr std::size_t kChunk = 256, kNameAhead = 8;
    const std::vector<Found>& found = piece.found;
    const std::size_t n = found.size();
    std::vector<std::uint32_t>& addresses = piece.addresses;
    std::vector<const MapSymbol*>& symbols = piece.symbols;
    addresses.resize(n);
    symbols.resize(n);
    for (std::size_t k = 0; k < n; ++k) addresses[k] = found[k].address;
    std::size_t copied = from;
    for (std::size_t k = 0; k < n; ++k) {
      if (k % kChunk == 0) {
        std::size_t m = n - k < kChunk ? n - k : kChunk;
        lib_.find_symbols_by_address(table_, addresses.data() + k, m, symbols.data() + k);
      }
      std::size_t ahead = k + kNameAhead;
      if (ahead < n && ahead % kChunk >= kNameAhead && symbols[ahead] != nullptr) {
        Prefetch(symbols[ahead]->name);  // its chunk is looked up
      }
      const Found& f = found[k];
      Copy(sink, copied, f.end);
      copied = f.end;
      const MapSymbol* symbol = symbols[k];
      bool within = symbol != nullptr && f.address - symbol->value <= max_offset_;
      Annotate(sink, f.address, within ? symbol : nullptr);
    }
    Copy(sink, copied, to);
  }

  template <class Sink>
  void Copy(Sink& sink, std::size_t from, std::size_t to) const {
    if (!only_ && to > from) sink.Put(std::string_view(pending_).substr(from, to - from));
  }

  // "0x%08X<TAB>name+0xOFF" or "0x%08X<TAB>??" as one line with --only; " <name+0xOFF>" after
  // the address in the text otherwise.
  template <class Sink>
  void Annotate(Sink& sink, std::uint32_t address, const MapSymbol* found) const {
    std::size_t length = found != nullptr ? std::strlen(found->name) : 0;
    if (only_) {
      std::size_t size = found != nullptr ? SymbolAtSize(length, found->value, address) : 2;
      char* line = sink.Reserve(10 + 1 + size + 1);
      WriteHex8(line, address);
      line[10] = '\t';
      if (found != nullptr) {
        WriteSymbolAt(line + 11, found->name, length, found->value, address);
      } else {
        std::memcpy(line + 11, "??", 2);
      }
      line[11 + size] = '\n';
    } else if (found != nullptr) {
      std::size_t size = SymbolAtSize(length, found->value, address);
      char* text = sink.Reserve(2 + size + 1);
      std::memcpy(text, " <", 2);
      WriteSymbolAt(text + 2, found->name, length, found->value, address);
      text[2 + size] = '>';
    }
  }

  // Texts shorter than this are done in one piece: a thread costs more than it saves there.
  static constexpr std::size_t kTwoPiecesFrom = 64 * 1024;

  const MapLibrary& lib_;
  const SymbolTable* table_;
  std::uint32_t max_offset_;
  bool only_;
  Output& out_;
  std::string pending_;
  Piece pieces_[2];
  TextSink aside_;
  unsigned char previous_ = 0;  // the byte before pending_, 0 at the start of a stream
};

bool CheckSymbolize(const CommandLine& line, std::string* error) {
  std::uint32_t offset = 0;
  if (line.Has("max-offset") && !ParseNumber(line.Last("max-offset"), &offset)) {
    *error = "not an offset: '" + line.Last("max-offset") + "'; offsets are " + kNumberForms;
    return false;
  }
  if (line.operands.empty()) {
    *error = "no map file given";
    return false;
  }
  return true;
}

// Feeds the stream to the symbolizer as it arrives, handing on the output of each piece at once;
// false on a read error.
bool FeedStream(std::FILE* stream, Symbolizer& symbolizer, Output& out) {
  static char block[1 << 20];
  bool ok = true;
  for (;;) {
    long got = ReadAvailable(stream, block, sizeof block);
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    symbolizer.Feed(block, static_cast<std::size_t>(got));
    out.Push();
  }
  symbolizer.Finish();
  return ok;
}

int RunSymbolize(const MapLibrary& lib, const CommandLine& line, Output& out) {
  std::uint32_t max_offset = 0xFFFFFFFFu;
  if (line.Has("max-offset")) ParseNumber(line.Last("max-offset"), &max_offset);
  Maps maps(lib);
  if (!maps.Load({line.operands[0]})) return kExitFile;
  Symbolizer symbolizer(lib, maps.files()[0].table, max_offset, line.Has("only"), out);
  std::vector<std::string> inputs(line.operands.begin() + 1, line.operands.end());
  if (inputs.empty()) inputs.push_back("-");
  int status = kExitOk;
  for (const std::string& input : inputs) {
    bool standard_input = input == "-";
    std::FILE* stream = standard_input ? stdin : std::fopen(input.c_str(), "rb");
    if (stream == nullptr) {
      Say("cannot read " + ShowPath(input) + " (" + OpenFailureReason(input) + ")");
      status = kExitFile;
      continue;
    }
    if (!FeedStream(stream, symbolizer, out)) {
      Say("error reading " + (standard_input ? std::string("standard input") : ShowPath(input)));
      status = kExitFile;
    }
    if (!standard_input) std::fclose(stream);
  }
  return status;
}

}  // namespace

const Command kSymbolizeCommand = {
    "symbolize",
    "mapsyms symbolize [--only] [--max-offset N] MAP [FILE...]",
    R"(Copies the text of the FILEs (standard input without one, or for "-") with every address
that falls within a record of MAP annotated: "0x0000105C <uart_wait_tx>", "0x00001062
<uart_wait_tx+0x6>". An address is "0x" and hexadecimal digits of at most 32 bits of value
(leading zeros allowed) that stands alone: no letter, digit or underscore right before or after
it. The nearest record at or below it is its symbol (the first in file order among equal
values). Every other byte is copied unchanged.

  --only          print one line per address instead: "0x%08X<TAB>name+0xOFFSET", or
                  "0x%08X<TAB>??" when no record is at or below it within the offset
  --max-offset N  an address more than N (hexadecimal) above its record is not annotated
  -h, --help      print this help
)",
    {{"only", 0, false}, {"max-offset", 0, true}, {"help", 'h', false}, {"version", 'V', false}},
    CheckSymbolize,
    RunSymbolize,
};
