// SPDX-License-Identifier: MIT
// Deterministic, realistic map text for benchmarks: module headings and blank lines now and
// then, about 97% single-line symbol entries padded into columns, every kind (Addr. and loc.
// the most common), values of 4 to 8 hex digits in both letter cases, bit values with "(n)",
// trailing words "[n]" and "*", and about 3% continued names of 2 to 4 pieces.
#pragma once

#include <cstdint>
#include <string>

#include "scanner/symbol_kind.h"

namespace k8map::bench {

// A fixed-seed generator, the same on every machine.
struct Random {
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  std::uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<std::uint32_t>(state >> 11);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }
};

inline const char* const kSyllables[] = {
    "init", "uart", "tx",   "rx",  "buf", "irq", "timer", "dma",  "ctrl", "reg",  "read", "write",
    "spi",  "i2c",  "gpio", "clk", "set", "get", "loop",  "done", "wait", "flag", "cnt",  "tmp"};

inline std::string Name(Random& r, int length) {
  std::string name;
  if (r.Below(8) == 0) name += '_';
  while (static_cast<int>(name.size()) < length) {
    if (!name.empty() && r.Below(3) == 0) name += '_';
    name += kSyllables[r.Below(24)];
    if (r.Below(5) == 0) name += static_cast<char>('0' + r.Below(10));
  }
  name.resize(static_cast<std::size_t>(length));
  if (name.back() == '_') name.back() = 'x';
  return name;
}

inline std::string Value(Random& r) {
  int digits = 4 + r.Below(5);
  const char* set = r.Below(2) ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string value = "0x";
  for (int i = 0; i < digits; ++i) value += set[r.Below(16)];
  return value;
}

// A kind, address kinds most often, as in real maps.
inline int Kind(Random& r) {
  using namespace k8map;
  static const int kKinds[] = {kKindAddr, kKindAddr, kKindAddr, kKindLoc, kKindLoc,
                               kKindLoc,  kKindAddr, kKindLoc,  kKindEqu, kKindBit,
                               kKindFunc, kKindVar,  kKindArg};
  return kKinds[r.Below(13)];
}

inline void Pad(std::string& line, std::size_t column) {
  line += ' ';
  while (line.size() < column) line += ' ';
}

inline void SymbolLine(Random& r, std::string& out) {
  std::string line = "  " + Name(r, 3 + r.Below(22));
  Pad(line, 28);
  int kind = Kind(r);
  line += k8map::KindKeyword(kind);
  Pad(line, 36);
  line += k8map::kScopeLetters[r.Below(3)];
  Pad(line, 40);
  line += Value(r);
  if (kind == k8map::kKindBit) line += "(" + std::to_string(r.Below(8)) + ")";
  int trailing = r.Below(10);
  if (trailing == 0) line += "  [" + std::to_string(1 + r.Below(64)) + "]";
  if (trailing == 1) line += "  *";
  out += line + "\n";
}

inline void ContinuedEntry(Random& r, std::string& out) {
  int pieces = 2 + r.Below(3);
  std::string head = "  " + Name(r, 12 + r.Below(10)) + "+";
  Pad(head, 28);
  out += head + std::string(k8map::KindKeyword(r.Below(4) ? k8map::kKindAddr : k8map::kKindLoc)) +
         "   g   " + Value(r) + "\n";
  for (int i = 1; i < pieces - 1; ++i) {
    out += "  " +
           (r.Below(3) ? Name(r, 6 + r.Below(10)) : std::to_string(r.Below(100)) + Name(r, 5)) +
           "+\n";
  }
  out += "  " + Name(r, 4 + r.Below(10)) + "\n";
}

// Map text, entry after entry, from a fixed seed: the same text on every machine.
class MapTextGenerator {
 public:
  // Appends whole entries to out until it holds at least bytes bytes.
  void Append(std::size_t bytes, std::string& out) {
    while (out.size() < bytes) {
      if (r_.Below(200) == 0) {
        out += "\nModule: " + Name(r_, 10) + "_" + std::to_string(module_++) + ".obj\n\n";
      }
      if (r_.Below(100) < 3) {
        ContinuedEntry(r_, out);
      } else {
        SymbolLine(r_, out);
      }
    }
  }

 private:
  Random r_;
  int module_ = 0;
};

inline std::string GenerateMapText(std::size_t bytes) {
  std::string out;
  MapTextGenerator().Append(bytes, out);
  return out;
}

}  // namespace k8map::bench
