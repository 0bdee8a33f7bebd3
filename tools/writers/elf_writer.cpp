// SPDX-License-Identifier: MIT
// The ELF export: a 32-bit executable file with no program, only sections and symbols, so that
// every tool shows each symbol at its map value. Code symbols lie in .text (or in the image that
// holds them), variables in .data, both without bytes; images bring bytes of their own; every
// other kind is absolute.
#include <algorithm>
#include <cstring>

#include "format_writers.h"

namespace k8writers {

namespace {

enum : std::uint32_t { kProgBits = 1, kSymTab = 2, kStrTab = 3, kNoBits = 8 };
enum : std::uint32_t { kWrite = 1, kAlloc = 2, kExecute = 4 };
enum : std::uint8_t { kNoType = 0, kObject = 1, kFunction = 2 };
enum : std::uint8_t { kLocal = 0, kGlobal = 1 };
constexpr std::uint16_t kAbsolute = 0xFFF1;
constexpr std::uint32_t kHeaderSize = 52, kSymbolSize = 16, kSectionHeaderSize = 40;

struct Section {
  std::string name;
  std::uint32_t type = 0, flags = 0, address = 0, offset = 0, size = 0, link = 0, info = 0;
  std::uint32_t align = 1, entry_size = 0;
  const std::vector<unsigned char>* bytes = nullptr;
};

// Where a symbol lies: a home of its own kind, or an image.
enum Home : std::uint32_t { kHomeAbsolute, kHomeText, kHomeData, kHomeImage };

bool IsCode(std::uint8_t kind) {
  return kind == K8MAP_KIND_FUNC || kind == K8MAP_KIND_ADDR || kind == K8MAP_KIND_LOC;
}

// Fields in the file's byte order, gathered in memory and handed on in blocks.
class Encoder {
 public:
  Encoder(ByteSink& sink, bool big_endian) : sink_(sink), big_endian_(big_endian) {}
  ~Encoder() { Flush(); }
  void U8(std::uint8_t value) { buffer_ += static_cast<char>(value); }
  void U16(std::uint16_t value) { Bytes(value, 2); }
  void U32(std::uint32_t value) { Bytes(value, 4); }
  void Raw(const void* data, std::size_t size) {
    Flush();
    sink_.Write(data, size);
  }
  void Text(std::string_view text) {
    buffer_.append(text);
    buffer_ += '\0';
    if (buffer_.size() >= kBlock) Flush();
  }
  void PadTo(std::uint64_t offset) {
    while (written_ + buffer_.size() < offset) U8(0);
  }
  void Flush() {
    sink_.Write(buffer_.data(), buffer_.size());
    written_ += buffer_.size();
    buffer_.clear();
  }
  void Count(std::size_t size) { written_ += size; }

 private:
  static constexpr std::size_t kBlock = 1 << 16;
  void Bytes(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
      int shift = big_endian_ ? 8 * (count - 1 - i) : 8 * i;
      buffer_ += static_cast<char>((value >> shift) & 0xFF);
    }
    if (buffer_.size() >= kBlock) Flush();
  }
  ByteSink& sink_;
  bool big_endian_;
  std::string buffer_;
  std::uint64_t written_ = 0;
};

struct Layout {
  std::vector<Section> sections;
  std::vector<std::uint32_t> homes;  // per symbol: its section's index, or kAbsolute
  std::vector<std::uint32_t> sizes;  // per symbol
  std::uint32_t symtab = 0;          // the index of .symtab
  std::uint64_t section_headers = 0;
};

// Each symbol's home before sections are numbered: kHomeImage + i for image i.
std::vector<std::uint32_t> Homes(const std::vector<const MapSymbol*>& symbols,
                                 const std::vector<Image>& images) {
  std::vector<std::uint32_t> homes(symbols.size(), kHomeAbsolute);
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    const MapSymbol& s = *symbols[i];
    if (s.kind == K8MAP_KIND_VAR) homes[i] = kHomeData;
    if (!IsCode(s.kind)) continue;
    homes[i] = kHomeText;
    for (std::size_t image = 0; image < images.size(); ++image) {
      std::uint64_t start = images[image].address;
      if (s.value >= start && s.value < start + images[image].bytes.size()) {
        homes[i] = kHomeImage + static_cast<std::uint32_t>(image);
      }
    }
  }
  return homes;
}

// The distance of each symbol to the next higher value among those of its home; 0 for the last
// and for absolute symbols.
std::vector<std::uint32_t> Sizes(const std::vector<const MapSymbol*>& symbols,
                                 const std::vector<std::uint32_t>& homes) {
  std::vector<std::uint32_t> order(symbols.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  auto key = [&](std::uint32_t i) { return std::make_pair(homes[i], symbols[i]->value); };
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return key(a) < key(b); });
  std::vector<std::uint32_t> sizes(symbols.size(), 0);
  std::size_t next = 0;  // the first of the order with a higher key than the current run
  for (std::size_t i = 0; i < order.size(); i = next) {
    while (next < order.size() && key(order[next]) == key(order[i])) ++next;
    bool has_higher = next < order.size() && homes[order[next]] == homes[order[i]];
    if (!has_higher || homes[order[i]] == kHomeAbsolute) continue;
    std::uint32_t size = symbols[order[next]]->value - symbols[order[i]]->value;
    for (std::size_t j = i; j < next; ++j) sizes[order[j]] = size;
  }
  return sizes;
}

// A section without bytes spanning the symbols of one home, from the lowest value to the
// highest (its size included), so that the highest lies inside it too.
Section SpanSection(const std::vector<const MapSymbol*>& symbols,
                    const std::vector<std::uint32_t>& homes,
                    const std::vector<std::uint32_t>& sizes, std::uint32_t home, const char* name,
                    std::uint32_t flags) {
  Section section{name, kNoBits, flags};
  std::uint64_t low = UINT64_MAX, high = 0;
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    if (homes[i] != home) continue;
    low = std::min<std::uint64_t>(low, symbols[i]->value);
    high = std::max<std::uint64_t>(high, symbols[i]->value + std::max<std::uint64_t>(sizes[i], 1));
  }
  if (low == UINT64_MAX) return {};
  section.address = static_cast<std::uint32_t>(low);
  section.size = static_cast<std::uint32_t>(std::min<std::uint64_t>(high - low, UINT32_MAX));
  return section;
}

}  // namespace

bool ImagesApart(const std::vector<Image>& images, std::string* error) {
  for (std::size_t a = 0; a < images.size(); ++a) {
    for (std::size_t b = a + 1; b < images.size(); ++b) {
      std::uint64_t a_start = images[a].address, b_start = images[b].address;
      if (a_start < b_start + images[b].bytes.size() &&
          b_start < a_start + images[a].bytes.size()) {
        *error = "images " + images[a].path + " at " + Hex8(images[a].address) + " and " +
                 images[b].path + " at " + Hex8(images[b].address) + " overlap";
        return false;
      }
    }
  }
  return true;
}

namespace {

bool Lay(const std::vector<const MapSymbol*>& symbols, const ExportOptions& options,
         std::uint64_t string_bytes, Layout* layout, std::string* error) {
  std::vector<std::uint32_t> homes = Homes(symbols, options.images);
  layout->sizes =
      options.sizes ? Sizes(symbols, homes) : std::vector<std::uint32_t>(symbols.size());
  std::vector<Section>& sections = layout->sections;
  sections.push_back({});
  std::vector<std::uint32_t> index_of_home(kHomeImage + options.images.size(), kAbsolute);
  struct Span {
    std::uint32_t home;
    const char* name;
    std::uint32_t flags;
  };
  for (Span span :
       {Span{kHomeText, ".text", kAlloc | kExecute}, Span{kHomeData, ".data", kAlloc | kWrite}}) {
    std::uint32_t home = span.home;
    Section section = SpanSection(symbols, homes, layout->sizes, home, span.name, span.flags);
    if (section.name.empty()) continue;
    section.offset = kHeaderSize;
    index_of_home[home] = static_cast<std::uint32_t>(sections.size());
    sections.push_back(section);
  }
  std::uint64_t offset = kHeaderSize;
  for (std::size_t i = 0; i < options.images.size(); ++i) {
    const Image& image = options.images[i];
    index_of_home[kHomeImage + i] = static_cast<std::uint32_t>(sections.size());
    sections.push_back({".image" + std::to_string(i), kProgBits, kAlloc | kExecute, image.address,
                        static_cast<std::uint32_t>(offset),
                        static_cast<std::uint32_t>(image.bytes.size())});
    sections.back().bytes = &image.bytes;
    offset += image.bytes.size();
  }
  layout->homes.resize(symbols.size());
  for (std::size_t i = 0; i < symbols.size(); ++i) layout->homes[i] = index_of_home[homes[i]];
  offset = (offset + 3) & ~std::uint64_t{3};
  layout->symtab = static_cast<std::uint32_t>(sections.size());
  std::uint64_t symtab_size = kSymbolSize * (symbols.size() + 1);
  std::uint32_t locals = 1;
  for (const MapSymbol* s : symbols) locals += s->scope != 'g';
  sections.push_back({".symtab", kSymTab, 0, 0, static_cast<std::uint32_t>(offset),
                      static_cast<std::uint32_t>(symtab_size), layout->symtab + 1, locals, 4,
                      kSymbolSize});
  offset += symtab_size;
  sections.push_back({".strtab", kStrTab, 0, 0, static_cast<std::uint32_t>(offset),
                      static_cast<std::uint32_t>(string_bytes)});
  offset += string_bytes;
  sections.push_back({".shstrtab", kStrTab, 0, 0, static_cast<std::uint32_t>(offset)});
  for (const Section& s : sections) sections.back().size += s.name.size() + 1;
  offset += sections.back().size;
  layout->section_headers = (offset + 3) & ~std::uint64_t{3};
  if (layout->section_headers + kSectionHeaderSize * sections.size() > UINT32_MAX) {
    *error = "too many symbols for a 32-bit ELF file (more than 4 GiB)";
    return false;
  }
  return true;
}

void WriteFileHeader(Encoder& e, const ExportOptions& options, const Layout& layout) {
  const unsigned char byte_order = options.big_endian ? 2 : 1;
  const unsigned char ident[16] = {0x7F, 'E', 'L', 'F', 1, byte_order, 1};
  e.Raw(ident, sizeof ident);
  e.Count(sizeof ident);
  e.U16(2);  // an executable: symbol values are addresses
  e.U16(options.machine);
  e.U32(1);  // the current version
  e.U32(0);  // no entry point
  e.U32(0);  // no program headers
  e.U32(static_cast<std::uint32_t>(layout.section_headers));
  e.U32(0);
  e.U16(kHeaderSize);
  e.U16(0);
  e.U16(0);
  e.U16(kSectionHeaderSize);
  e.U16(static_cast<std::uint16_t>(layout.sections.size()));
  e.U16(static_cast<std::uint16_t>(layout.sections.size() - 1));  // .shstrtab, the last
}

// The symbols of one binding in map order, their names from *name_offset on.
void WriteSymbols(Encoder& e, const std::vector<const MapSymbol*>& symbols, const Layout& layout,
                  bool global, std::uint32_t* name_offset) {
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    const MapSymbol& s = *symbols[i];
    if ((s.scope == 'g') != global) continue;
    std::uint8_t type = IsCode(s.kind) ? kFunction : s.kind == K8MAP_KIND_VAR ? kObject : kNoType;
    e.U32(*name_offset);
    e.U32(s.value);
    e.U32(layout.sizes[i]);
    e.U8(static_cast<std::uint8_t>(((global ? kGlobal : kLocal) << 4) | type));
    e.U8(0);
    e.U16(static_cast<std::uint16_t>(layout.homes[i]));
    *name_offset += static_cast<std::uint32_t>(std::strlen(s.name) + 1);
  }
}

void WriteNames(Encoder& e, const std::vector<const MapSymbol*>& symbols, bool global) {
  for (const MapSymbol* s : symbols) {
    if ((s->scope == 'g') == global) e.Text(s->name);
  }
}

void WriteSectionHeader(Encoder& e, const Section& s, std::uint32_t name) {
  for (std::uint32_t field : {name, s.type, s.flags, s.address, s.offset, s.size, s.link, s.info,
                              s.align, s.entry_size}) {
    e.U32(field);
  }
}

}  // namespace

bool WriteElf(const std::vector<const MapSymbol*>& symbols, const ExportOptions& options,
              ByteSink& sink, std::string* error) {
  if (!ImagesApart(options.images, error)) return false;
  std::uint64_t string_bytes = 1;
  for (const MapSymbol* s : symbols) string_bytes += std::strlen(s->name) + 1;
  Layout layout;
  if (!Lay(symbols, options, string_bytes, &layout, error)) return false;
  Encoder e(sink, options.big_endian);
  WriteFileHeader(e, options, layout);
  for (const Image& image : options.images) {
    e.Raw(image.bytes.data(), image.bytes.size());
    e.Count(image.bytes.size());
  }
  e.PadTo(layout.sections[layout.symtab].offset);
  for (int field = 0; field < 4; ++field) e.U32(0);  // the null symbol
  std::uint32_t name_offset = 1;
  WriteSymbols(e, symbols, layout, false, &name_offset);
  WriteSymbols(e, symbols, layout, true, &name_offset);
  e.Text("");
  WriteNames(e, symbols, false);
  WriteNames(e, symbols, true);
  for (const Section& s : layout.sections) e.Text(s.name);  // the null section's "" first
  e.PadTo(layout.section_headers);
  std::uint32_t name = 0;
  for (const Section& s : layout.sections) {
    WriteSectionHeader(e, s, s.name.empty() ? 0 : name);
    name += static_cast<std::uint32_t>(s.name.size() + 1);
  }
  return true;
}

}  // namespace k8writers
