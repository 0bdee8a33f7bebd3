#include "maps.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "both_halves.h"
#include "messages.h"

bool Maps::Load(const std::vector<std::string>& paths) {
  bool ok = true;
  for (const std::string& path : paths) {
    FileOutcome outcome;
    outcome.path = path;
    outcome.first = lib_.get_record_count();
    outcome.ok = lib_.map_parse(path.c_str()) == 0;
    outcome.end = lib_.get_record_count();
    if (!outcome.ok) {
      ok = false;
      std::string message = lib_.get_error_message();
      if (message.rfind("can't open file", 0) == 0) {
        std::string reason = OpenFailureReason(path);
        if (!reason.empty()) {
          if (!message.empty() && message.back() == '\n') message.pop_back();
          message += " (" + reason + ")";
        }
      }
      Say(message);
    }
    files_.push_back(outcome);
    records_made_ = false;
  }
  if (!ok && paths.size() > 1) {
    std::size_t read = 0;
    for (const FileOutcome& f : files_) read += f.ok ? 1 : 0;
    Say("read " + std::to_string(read) + " of " + std::to_string(paths.size()) +
        " files completely; of the others, the records before the failure");
  }
  return ok;
}

bool Maps::all_ok() const {
  for (const FileOutcome& f : files_) {
    if (!f.ok) return false;
  }
  return true;
}

const RecordList& Maps::records() {
  if (records_made_) return records_;
  records_.clear();
  records_.reserve(static_cast<std::size_t>(count()));
  std::uint32_t file = 0;
  std::int32_t index = 0;
  for (const SymbolRecord* r = head(); r != nullptr; r = r->next, ++index) {
    while (file + 1 < files_.size() && index >= files_[file].end) ++file;
    records_.push_back({r->name, r->value, file});
  }
  records_made_ = true;
  return records_;
}

namespace {

std::uint32_t Length(const char* name) {
  return static_cast<std::uint32_t>(std::strlen(name));
}

}  // namespace

LargeVector<Symbol> SymbolsOf(const RecordList& records, const std::vector<bool>& keep) {
  LargeVector<Symbol> symbols;
  symbols.reserve(records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (keep.empty() || keep[i]) {
      symbols.push_back({records[i].name, Length(records[i].name), records[i].value});
    }
  }
  return symbols;
}

LargeVector<Symbol> SymbolsOf(const SymbolRecord* head, std::int32_t count) {
  LargeVector<Symbol> symbols;
  symbols.reserve(static_cast<std::size_t>(count));
  // Names lie in list order in memory: measured here in one sweep, not at each lookup.
  for (const SymbolRecord* r = head; r != nullptr; r = r->next) {
    symbols.push_back({r->name, Length(r->name), r->value});
  }
  return symbols;
}

namespace {

// Fewer symbols than this are sorted by one thread: a second costs more than it saves there.
constexpr std::size_t kParallelFrom = 1 << 16;

// Moves the symbols into `to` ordered by the sixteen bits of their values at shift, keeping
// their order among equal bits. The two halves are counted and moved at once: the second
// half's symbols go after the first's of the same bits.
void SortByBits(const LargeVector<Symbol>& from, LargeVector<Symbol>& to, int shift) {
  constexpr std::size_t kDigits = std::size_t{1} << 16;
  const std::size_t n = from.size(), half = n / 2;
  const bool parallel = n >= kParallelFrom;
  auto digit = [shift](const Symbol& s) { return (s.value >> shift) & 0xFFFF; };
  std::vector<std::uint32_t> next[2];
  BothHalves(parallel, [&](int h) {
    next[h].assign(kDigits, 0);
    for (std::size_t i = h == 0 ? 0 : half; i < (h == 0 ? half : n); ++i) ++next[h][digit(from[i])];
  });
  std::uint32_t start = 0;
  for (std::size_t d = 0; d < kDigits; ++d) {
    std::uint32_t first = next[0][d], second = next[1][d];
    next[0][d] = start;
    next[1][d] = start + first;
    start += first + second;
  }
  BothHalves(parallel, [&](int h) {
    std::uint32_t* place = next[h].data();
    for (std::size_t i = h == 0 ? 0 : half; i < (h == 0 ? half : n); ++i) {
      to[place[digit(from[i])]++] = from[i];
    }
  });
}

}  // namespace

AddressIndex::AddressIndex(LargeVector<Symbol> symbols) {
  // A stable sort by value in two passes of sixteen bits, moving the symbols themselves (no
  // gathering from scattered memory afterwards); the first in file order stays first among
  // equal values.
  LargeVector<Symbol> sorted(symbols.size());
  SortByBits(symbols, sorted, 0);
  SortByBits(sorted, symbols, 16);
  sorted = {};
  // Of equal values, the first.
  values_.reserve(symbols.size());
  std::size_t kept = 0;
  for (const Symbol& s : symbols) {
    if (!values_.empty() && values_.back() == s.value) continue;
    values_.push_back(s.value);
    symbols[kept++] = s;
  }
  symbols.resize(kept);
  symbols_ = std::move(symbols);
  bucket_start_.resize((1u << 16) + 1);
  std::size_t at = 0;
  for (std::uint32_t bucket = 0; bucket <= (1u << 16); ++bucket) {
    std::uint64_t low = std::uint64_t{bucket} << 16;
    while (at < values_.size() && values_[at] < low) ++at;
    bucket_start_[bucket] = static_cast<std::uint32_t>(at);
  }
}

const Symbol* AddressIndex::Find(std::uint32_t address, std::uint32_t max_offset) const {
  std::uint32_t bucket = address >> 16;
  // The last value at or below the address in this part by halving, the step taken by a mask
  // rather than a branch (which half varies from address to address, so a branch would be
  // mispredicted half the time); one past it is the first value above. When the part has no
  // value at or below, the nearest is the last of the parts below.
  const std::uint32_t* base = values_.data() + bucket_start_[bucket];
  std::size_t length = bucket_start_[bucket + 1] - bucket_start_[bucket];
  if (length > 0) {
    while (length > 1) {
      std::size_t half = length / 2;
      base += half & (std::size_t{0} - static_cast<std::size_t>(base[half] <= address));
      length -= half;
    }
    base += *base <= address ? 1 : 0;
  }
  if (base == values_.data()) return nullptr;
  std::size_t at = static_cast<std::size_t>(base - values_.data()) - 1;
  if (address - values_[at] > max_offset) return nullptr;
  return &symbols_[at];
}

void AddressIndex::PrefetchPart(std::uint32_t address) const {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(&bucket_start_[address >> 16]);
#else
  (void)address;
#endif
}

void AddressIndex::Prefetch(std::uint32_t address) const {
#if defined(__GNUC__) || defined(__clang__)
  // The part's values: its first line and its last (a part often spans two).
  std::uint32_t bucket = address >> 16;
  std::uint32_t first = bucket_start_[bucket], end = bucket_start_[bucket + 1];
  if (first < end) {
    __builtin_prefetch(&values_[first]);
    __builtin_prefetch(&values_[end - 1]);
  }
#else
  (void)address;
#endif
}

namespace {

int OffsetDigits(std::uint32_t offset) {
  int digits = 1;
  while (digits < 8 && (offset >> (4 * digits)) != 0) ++digits;
  return digits;
}

}  // namespace

std::string SymbolAt(const Symbol& symbol, std::uint32_t address) {
  std::string text(SymbolAtSize(symbol, address), '\0');
  WriteSymbolAt(text.data(), symbol, address);
  return text;
}

std::size_t SymbolAtSize(const Symbol& symbol, std::uint32_t address) {
  std::uint32_t offset = address - symbol.value;
  return symbol.length + (offset == 0 ? 0 : 3 + static_cast<std::size_t>(OffsetDigits(offset)));
}

char* WriteSymbolAt(char* at, const Symbol& symbol, std::uint32_t address) {
  std::memcpy(at, symbol.name, symbol.length);
  at += symbol.length;
  std::uint32_t offset = address - symbol.value;
  if (offset == 0) return at;
  *at++ = '+';
  *at++ = '0';
  *at++ = 'x';
  for (int i = OffsetDigits(offset) - 1; i >= 0; --i) {
    *at++ = "0123456789ABCDEF"[(offset >> (4 * i)) & 0xF];
  }
  return at;
}

void PutSymbolAt(Output& out, const Symbol& symbol, std::uint32_t address) {
  WriteSymbolAt(out.Reserve(SymbolAtSize(symbol, address)), symbol, address);
}
