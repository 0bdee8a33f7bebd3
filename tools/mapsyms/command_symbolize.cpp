// SPDX-License-Identifier: MIT
// mapsyms symbolize [--only] [--bare] [--max-offset N|none] [--map MAP]... [MAP] [FILE...]:
// copies text (the files, or standard input) with every address that falls within a record of
// the maps annotated as "0x0000105C <uart_wait_tx>" or "0x00001062 <uart_wait_tx+0x6>" (and
// " [MAP]" inside the brackets when there are several maps); every other byte unchanged. With
// --only, one line per address instead: "0x%08X<TAB>name+0xOFF" or "0x%08X<TAB>??". Reads in
// blocks as the text arrives: any length of text in constant memory beyond the records, and a
// log that is still being written is answered as it comes.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "kinds.h"
#include "maps.h"
#include "messages.h"
#include "number.h"
#include "stream_reader.h"
#include "wide_paths.h"

namespace {

// An address in the text: "0x" or "0X" and hexadecimal digits of at most 32 bits of value
// (leading zeros allowed), standing alone: neither preceded nor followed by a letter, digit or
// underscore. Longer digit runs than this are left as they are. With --bare, a word of exactly
// eight hexadecimal digits is an address too, as crash dumps print stack words.
constexpr std::size_t kLongestAddress = 2 + 64;
constexpr std::size_t kBareDigits = 8;

bool WordByte(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

// The maps symbolize looks addresses up in, and how it answers.
struct SymbolizeOptions {
  std::vector<const SymbolTable*> tables;
  std::vector<std::string> names;  // each map's name as shown, when there are several
  std::uint32_t max_offset = kDefaultMaxOffset;
  unsigned kinds = kAddressKinds;  // K8MAP_KIND_MASK bits
  bool only = false;
  bool bare = false;
};

class Symbolizer {
 public:
  Symbolizer(const MapLibrary& lib, SymbolizeOptions options, Output& out)
      : lib_(lib), o_(std::move(options)), out_(out) {}

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

  // Writes pending_ with the annotations, keeping back what may be cut by its end.
  void Process(bool at_end) {
    std::size_t done = o_.bare ? ScanWords(at_end) : Scan(at_end);
    Emit(done);
    if (done > 0) previous_ = static_cast<unsigned char>(pending_[done - 1]);
    pending_.erase(0, done);
  }

  // Scan and ScanWords find the addresses in pending_ and return the end of what can be
  // written now: without at_end, an address that may go on past the end is left for the next
  // block.
  std::size_t Scan(bool at_end) {
    found_.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(pending_.data());
    std::size_t i = 0, n = pending_.size();
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
      if (alone && !too_wide) found_.push_back({end, value});
      i = end;
    }
    return n;
  }

  // Scan with --bare: every word (a run of letters, digits and underscores) is looked at, and
  // is an address when it is "0x" or "0X" and digits as above, or exactly eight hexadecimal
  // digits. A word that may go on past n is kept back unless at_end.
  std::size_t ScanWords(bool at_end) {
    found_.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(pending_.data());
    std::size_t i = 0, n = pending_.size();
    while (i < n) {
      while (i < n && !WordByte(p[i])) ++i;
      std::size_t start = i;
      while (i < n && WordByte(p[i])) ++i;
      if (start == i) break;
      bool continues = WordByte(start > 0 ? p[start - 1] : previous_);  // its head went before
      if (continues) continue;
      if (i == n && !at_end && i - start <= kLongestAddress) return start;
      std::uint32_t value = 0;
      if (WordAddress(p + start, i - start, &value)) found_.push_back({i, value});
    }
    return n;
  }

  // Whether the word of length bytes at word is an address, and its value.
  static bool WordAddress(const unsigned char* word, std::size_t length, std::uint32_t* value) {
    bool prefixed = length > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
    std::size_t digits = prefixed ? 2 : 0;
    if (prefixed ? length > kLongestAddress : length != kBareDigits) return false;
    std::uint32_t v = 0;
    for (std::size_t k = digits; k < length; ++k) {
      int digit = HexDigitValue(word[k]);
      if (digit < 0 || (v >> 28) != 0) return false;
      v = v << 4 | static_cast<std::uint32_t>(digit);
    }
    *value = v;
    return true;
  }

  // Writes the text up to `to` with the addresses found annotated. The addresses are looked
  // up kChunk at a time, so that the symbols found are still in the cache when written.
  void Emit(std::size_t to) {
    constexpr std::size_t kChunk = 256;
    std::size_t copied = 0;
    for (std::size_t first = 0; first < found_.size(); first += kChunk) {
      std::size_t end = std::min(found_.size(), first + kChunk);
      LookUp(first, end);
      for (std::size_t k = first; k < end; ++k) {
        Copy(copied, found_[k].end);
        copied = found_[k].end;
        Annotate(found_[k].address, symbols_[k - first], map_of_[k - first]);
      }
    }
    Copy(copied, to);
  }

  // The symbols of the addresses found_[first, end): of every map's symbols, the one at or
  // nearest below each within the bound (the first map's among equal values).
  void LookUp(std::size_t first, std::size_t end) {
    std::size_t n = end - first;
    addresses_.resize(n);
    symbols_.resize(n);
    map_of_.assign(n, 0);
    for (std::size_t k = 0; k < n; ++k) addresses_[k] = found_[first + k].address;
    const std::uint32_t* addresses = addresses_.data();
    lib_.find_nearest_symbols(o_.tables[0], addresses, n, o_.kinds, o_.max_offset, symbols_.data());
    in_map_.resize(n);
    for (std::uint32_t map = 1; map < o_.tables.size(); ++map) {
      lib_.find_nearest_symbols(o_.tables[map], addresses, n, o_.kinds, o_.max_offset,
                                in_map_.data());
      for (std::size_t k = 0; k < n; ++k) {
        const MapSymbol* other = in_map_[k];
        if (other != nullptr && (symbols_[k] == nullptr || other->value > symbols_[k]->value)) {
          symbols_[k] = other;
          map_of_[k] = map;
        }
      }
    }
  }

  void Copy(std::size_t from, std::size_t to) {
    if (!o_.only && to > from) out_.Put(std::string_view(pending_).substr(from, to - from));
  }

  // "0x%08X<TAB>name+0xOFF" or "0x%08X<TAB>??" as one line with --only; " <name+0xOFF>" after
  // the address in the text otherwise. With several maps, the map's name follows: a third
  // column with --only, " [MAP]" inside the brackets otherwise.
  void Annotate(std::uint32_t address, const MapSymbol* found, std::uint32_t map) {
    std::size_t length = found != nullptr ? std::strlen(found->name) : 0;
    std::string_view map_name;
    if (found != nullptr && !o_.names.empty()) map_name = o_.names[map];
    if (o_.only) {
      std::size_t size = found != nullptr ? SymbolAtSize(length, found->value, address) : 2;
      std::size_t tail = map_name.empty() ? 0 : 1 + map_name.size();
      char* line = out_.Reserve(10 + 1 + size + tail + 1);
      WriteHex8(line, address);
      line[10] = '\t';
      if (found != nullptr) {
        WriteSymbolAt(line + 11, found->name, length, found->value, address);
      } else {
        std::memcpy(line + 11, "??", 2);
      }
      if (tail > 0) {
        line[11 + size] = '\t';
        std::memcpy(line + 12 + size, map_name.data(), map_name.size());
      }
      line[11 + size + tail] = '\n';
    } else if (found != nullptr) {
      std::size_t size = SymbolAtSize(length, found->value, address);
      std::size_t tail = map_name.empty() ? 0 : 3 + map_name.size();
      char* text = out_.Reserve(2 + size + tail + 1);
      std::memcpy(text, " <", 2);
      WriteSymbolAt(text + 2, found->name, length, found->value, address);
      if (tail > 0) {
        std::memcpy(text + 2 + size, " [", 2);
        std::memcpy(text + 4 + size, map_name.data(), map_name.size());
        text[4 + size + map_name.size()] = ']';
      }
      text[2 + size + tail] = '>';
    }
  }

  const MapLibrary& lib_;
  SymbolizeOptions o_;
  Output& out_;
  std::string pending_;
  std::vector<Found> found_;
  std::vector<std::uint32_t> addresses_;
  std::vector<const MapSymbol*> symbols_, in_map_;
  std::vector<std::uint32_t> map_of_;  // the map each symbol came from
  unsigned char previous_ = 0;         // the byte before pending_, 0 at the start of a stream
};

// The maps (--map, or else the first operand) and the texts (the other operands, or standard
// input).
void SplitOperands(const CommandLine& line, std::vector<std::string>* maps,
                   std::vector<std::string>* texts) {
  *maps = line.Values("map");
  auto first_text = line.operands.begin();
  if (maps->empty() && !line.operands.empty()) maps->push_back(*first_text++);
  texts->assign(first_text, line.operands.end());
  if (texts->empty()) texts->push_back(kStandardInput);
}

// --max-offset: a number, or "none" for no bound.
bool ReadMaxOffset(const CommandLine& line, std::uint32_t* max_offset) {
  *max_offset = kDefaultMaxOffset;
  return !line.Has("max-offset") || ParseMaxOffset(line.Last("max-offset"), max_offset);
}

bool CheckSymbolize(const CommandLine& line, std::string* error) {
  std::uint32_t offset = 0;
  if (!ReadMaxOffset(line, &offset)) {
    *error = "not an offset: '" + line.Last("max-offset") + "'; offsets are " + kNumberForms +
             ", or none";
    return false;
  }
  unsigned kinds = 0;
  if (!ReadKinds(line, &kinds, error)) return false;
  std::vector<std::string> maps, texts;
  SplitOperands(line, &maps, &texts);
  if (maps.empty()) {
    *error = "no map file given";
    return false;
  }
  std::vector<std::string> inputs = maps;
  inputs.insert(inputs.end(), texts.begin(), texts.end());
  if (!StandardInputOnce(inputs, error)) {
    *error += ": with the map from standard input, name the text's FILE";
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
  std::vector<std::string> map_paths, inputs;
  SplitOperands(line, &map_paths, &inputs);
  Maps maps(lib);
  bool loaded = maps.Load(map_paths);
  if (!loaded && !line.Has("keep-going")) {
    Say("no annotation: " + maps.Unread() + " (--keep-going annotates from the records read)");
    return kExitFile;
  }
  SymbolizeOptions options;
  ReadMaxOffset(line, &options.max_offset);
  std::string unused;
  ReadKinds(line, &options.kinds, &unused);  // checked before
  options.only = line.Has("only");
  options.bare = line.Has("bare");
  for (const FileOutcome& map : maps.files()) {
    options.tables.push_back(map.table);
    if (maps.files().size() > 1) options.names.push_back(ShowPath(map.path));
  }
  Symbolizer symbolizer(lib, std::move(options), out);
  int status = loaded ? kExitOk : kExitFile;
  for (const std::string& input : inputs) {
    bool standard_input = input == kStandardInput;
    std::FILE* stream = standard_input ? stdin : OpenForReading(input);
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
    "mapsyms symbolize [--only] [--bare] [--max-offset N|none] [--kind KIND]... [--all-kinds]\n"
    "                         [--keep-going] [--map MAP]... [MAP] [FILE...]",
    R"(Copies the text of the FILEs (standard input without one, or for "-") with every address
that falls within a record of MAP annotated: "0x0000105C <uart_wait_tx>", "0x00001062
<uart_wait_tx+0x6>". An address is "0x" or "0X" and hexadecimal digits of at most 32 bits of
value (leading zeros allowed) that stands alone: no letter, digit or underscore right before or
after it. The nearest record at or below it is its symbol (the first in file order among equal
values), if it lies at most 0x10000 (64 KiB) below the address. Every other byte is copied
unchanged. MAP may be "-" for standard input; the text then comes from the FILEs. A map that
cannot be read or parsed stops it unless --keep-going asks for answers from the records read.
Exit 0 when all was read, 2 when the command line is wrong, 3 when a map or text could not be
read or parsed (or the output written), 4 when the library could not be loaded.

  --map MAP       look addresses up in MAP; may be given more than once (a bootloader's and
                  an application's map): the nearest record of all the maps answers, the first
                  map's among equal values, and each answer names its map: "<name+0xOFFSET
                  [MAP]>". With --map, every operand is a FILE of text.
  --bare          also annotate words of exactly eight hexadecimal digits without 0x
                  ("Stack: 0000105c 00002040"), as crash dumps print stack words
  --only          print one line per address instead: "0x%08X<TAB>name+0xOFFSET", or
                  "0x%08X<TAB>??" when no record is at or below it within the offset; with
                  several maps, a third column names the map
  --max-offset N  an address more than N (hexadecimal) above its record is not annotated;
                  "none" lifts the bound (0x10000 without this option)
  --kind KIND     answer from the symbols of KIND instead of the records (Addr., loc., EQU,
                  bit, Func., Var., arg.; any letter case, the dot optional; repeatable)
  --all-kinds     answer from every symbol
  --keep-going    annotate from the records read when a map failed (exit 3 all the same)
  -h, --help      print this help
)",
    {{"only", 0, false},
     {"keep-going", 0, false},
     {"kind", 0, true},
     {"all-kinds", 0, false},
     {"bare", 0, false},
     {"map", 0, true},
     {"max-offset", 0, true},
     {"help", 'h', false},
     {"version", 'V', false}},
    CheckSymbolize,
    RunSymbolize,
};
