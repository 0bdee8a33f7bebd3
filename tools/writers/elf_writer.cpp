// SPDX-License-Identifier: MIT
// The ELF export: a 32-bit executable file with no program, only sections and symbols, so that
// every tool shows each symbol at its map value. Code symbols lie in .text (or in the image that
// holds them), variables in .data, both without bytes; images bring bytes of their own; every
// other kind is absolute.
#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

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

// Fields in the file's byte order, gathered in a block and handed on when it fills.
class Encoder {
 public:
  Encoder(ByteSink& sink, bool big_endian) : sink_(sink), big_endian_(big_endian) {}
  ~Encoder() { Flush(); }
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  void U8(std::uint8_t value) { *Room(1) = static_cast<char>(value); }
  void U16(std::uint16_t value) { Put(Room(2), value, 2); }
  void U32(std::uint32_t value) { Put(Room(4), value, 4); }
  // A symbol table entry, the fields in their order in the file.
  void Symbol(std::uint32_t name, std::uint32_t value, std::uint32_t size, std::uint8_t info,
              std::uint16_t section) {
    char* at = Room(kSymbolSize);
    Put(at, name, 4);
    Put(at + 4, value, 4);
    Put(at + 8, size, 4);
    at[12] = static_cast<char>(info);
    at[13] = 0;
    Put(at + 14, section, 2);
  }
  // Text and its terminating zero.
  void Text(std::string_view text) {
    char* at = Room(text.size() + 1);
    std::memcpy(at, text.data(), text.size());
    at[text.size()] = '\0';
  }
  void Raw(const void* data, std::size_t size) {
    Flush();
    sink_.Write(data, size);
    written_ += size;
  }
  void PadTo(std::uint64_t offset) {
    while (written_ + used_ < offset) U8(0);
  }
  void Flush() {
    sink_.Write(block_, used_);
    written_ += used_;
    used_ = 0;
  }

 private:
  static constexpr std::size_t kBlock = 1 << 16;  // more than the longest text
  char* Room(std::size_t size) {
    if (used_ + size > kBlock) Flush();
    char* at = block_ + used_;
    used_ += size;
    return at;
  }
  void Put(char* at, std::uint32_t value, int count) const {
    if (!big_endian_ && std::endian::native == std::endian::little) {
      std::memcpy(at, &value, static_cast<std::size_t>(count));
      return;
    }
    for (int i = 0; i < count; ++i) {
      int shift = big_endian_ ? 8 * (count - 1 - i) : 8 * i;
      at[i] = static_cast<char>((value >> shift) & 0xFF);
    }
  }
  ByteSink& sink_;
  bool big_endian_;
  char block_[kBlock];
  std::size_t used_ = 0;
  std::uint64_t written_ = 0;
};

struct Layout {
  std::vector<Section> sections;
  std::vector<std::uint32_t> index_of_home;  // each home's section, or kAbsolute
  std::uint32_t symtab = 0;                  // the index of .symtab
  std::uint64_t section_headers = 0;
};

// A symbol's home before sections are numbered: kHomeImage + i for image i.
std::uint32_t HomeOf(const MapSymbol& s, const std::vector<Image>& images) {
  if (s.kind == K8MAP_KIND_VAR) return kHomeData;
  if (!IsCode(s.kind)) return kHomeAbsolute;
  for (std::size_t image = 0; image < images.size(); ++image) {
    std::uint64_t start = images[image].address;
    if (s.value >= start && s.value < start + images[image].bytes.size()) {
      return kHomeImage + static_cast<std::uint32_t>(image);
    }
  }
  return kHomeText;
}

// The distance of each symbol to the next higher value among those of its home; 0 for the last
// and for absolute symbols.
std::vector<std::uint32_t> Sizes(const std::vector<const MapSymbol*>& symbols,
                                 const std::vector<Image>& images) {
  // (home, value) in the high and low halves of a key: sorted, each run of equal keys is
  // followed by the next higher value of the same home, if any.
  std::vector<std::pair<std::uint64_t, std::uint32_t>> order(symbols.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) {
    order[i] = {(std::uint64_t{HomeOf(*symbols[i], images)} << 32) | symbols[i]->value, i};
  }
  std::sort(order.begin(), order.end());
  std::vector<std::uint32_t> sizes(symbols.size(), 0);
  std::size_t next = 0;  // the first of the order with a higher key than the current run
  for (std::size_t i = 0; i < order.size(); i = next) {
    std::uint64_t key = order[i].first;
    while (next < order.size() && order[next].first == key) ++next;
    bool has_higher = next < order.size() && (order[next].first >> 32) == (key >> 32);
    if (!has_higher || (key >> 32) == kHomeAbsolute) continue;
    auto size = static_cast<std::uint32_t>(order[next].first - key);
    for (std::size_t j = i; j < next; ++j) sizes[order[j].second] = size;
  }
  return sizes;
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

// A symbol as the symbol table holds it, before its section is numbered.
struct Entry {
  const char* name;
  std::uint32_t value;
  std::uint8_t length;  // of the name: names are at most 255 bytes
  std::uint8_t info;    // binding and type
  std::uint16_t home;
};

// What a pass over the symbols gathers: the entries in the table's order (the locals in map
// order, then the globals), with their sizes; the span of .text and .data; the string table's
// size.
struct Survey {
  std::unique_ptr<Entry[]> entries;  // every one written by the survey: not cleared first
  std::size_t count = 0;
  std::vector<std::uint32_t> sizes;  // in the entries' order, with --sizes; empty otherwise
  std::uint32_t locals = 1;          // the null symbol is local
  std::uint64_t low[2] = {UINT64_MAX, UINT64_MAX}, high[2] = {0, 0};
  std::uint64_t string_bytes = 1;
};

Survey SurveySymbols(const std::vector<const MapSymbol*>& symbols, const ExportOptions& options) {
  Survey survey;
  std::vector<std::uint32_t> sizes;
  if (options.sizes) sizes = Sizes(symbols, options.images);
  // Locals from the front, globals from the back (turned round afterwards).
  survey.count = symbols.size();
  survey.entries = std::make_unique_for_overwrite<Entry[]>(survey.count);
  survey.sizes.resize(sizes.size());
  std::size_t globals = 0;
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    const MapSymbol& s = *symbols[i];
    bool local = s.scope != 'g';
    std::size_t at = local ? survey.locals++ - 1 : symbols.size() - ++globals;
    std::size_t length = std::min<std::size_t>(std::strlen(s.name), 255);
    std::uint32_t home = HomeOf(s, options.images);
    std::uint8_t type = IsCode(s.kind) ? kFunction : s.kind == K8MAP_KIND_VAR ? kObject : kNoType;
    survey.entries[at] = {s.name, s.value, static_cast<std::uint8_t>(length),
                          static_cast<std::uint8_t>(((local ? kLocal : kGlobal) << 4) | type),
                          static_cast<std::uint16_t>(home)};
    if (!sizes.empty()) survey.sizes[at] = sizes[i];
    survey.string_bytes += length + 1;
    if (home != kHomeText && home != kHomeData) continue;
    // The highest symbol lies inside its section too.
    int span = home == kHomeData;
    survey.low[span] = std::min<std::uint64_t>(survey.low[span], s.value);
    survey.high[span] = std::max<std::uint64_t>(survey.high[span], s.value + std::uint64_t{1});
  }
  std::size_t first_global = survey.locals - 1;
  std::reverse(survey.entries.get() + first_global, survey.entries.get() + survey.count);
  if (!sizes.empty()) std::reverse(survey.sizes.begin() + first_global, survey.sizes.end());
  return survey;
}

bool Lay(const std::vector<const MapSymbol*>& symbols, const ExportOptions& options,
         const Survey& survey, Layout* layout, std::string* error) {
  std::vector<Section>& sections = layout->sections;
  sections.push_back({});
  std::vector<std::uint32_t>& index_of_home = layout->index_of_home;
  index_of_home.assign(kHomeImage + options.images.size(), kAbsolute);
  // Sections without bytes spanning the code and the variables.
  for (int span = 0; span < 2; ++span) {
    if (survey.low[span] == UINT64_MAX) continue;
    index_of_home[span == 0 ? kHomeText : kHomeData] = static_cast<std::uint32_t>(sections.size());
    sections.push_back({span == 0 ? ".text" : ".data", kNoBits,
                        span == 0 ? kAlloc | kExecute : kAlloc | kWrite,
                        static_cast<std::uint32_t>(survey.low[span]), kHeaderSize,
                        static_cast<std::uint32_t>(std::min<std::uint64_t>(
                            survey.high[span] - survey.low[span], UINT32_MAX))});
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
  offset = (offset + 3) & ~std::uint64_t{3};
  layout->symtab = static_cast<std::uint32_t>(sections.size());
  std::uint64_t symtab_size = kSymbolSize * (symbols.size() + 1);
  sections.push_back({".symtab", kSymTab, 0, 0, static_cast<std::uint32_t>(offset),
                      static_cast<std::uint32_t>(symtab_size), layout->symtab + 1, survey.locals, 4,
                      kSymbolSize});
  offset += symtab_size;
  sections.push_back({".strtab", kStrTab, 0, 0, static_cast<std::uint32_t>(offset),
                      static_cast<std::uint32_t>(survey.string_bytes)});
  offset += survey.string_bytes;
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

// The symbol table after its null symbol, and the names of the string table after its "".
void WriteSymbols(Encoder& e, const Layout& layout, const Survey& survey) {
  std::uint32_t name_offset = 1;
  for (std::size_t at = 0; at < survey.count; ++at) {
    const Entry& entry = survey.entries[at];
    e.Symbol(name_offset, entry.value, survey.sizes.empty() ? 0 : survey.sizes[at], entry.info,
             static_cast<std::uint16_t>(layout.index_of_home[entry.home]));
    name_offset += entry.length + 1u;
  }
}

void WriteNames(Encoder& e, const Survey& survey) {
  for (std::size_t at = 0; at < survey.count; ++at) {
    e.Text(std::string_view(survey.entries[at].name, survey.entries[at].length));
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
  Survey survey = SurveySymbols(symbols, options);
  Layout layout;
  if (!Lay(symbols, options, survey, &layout, error)) return false;
  Encoder e(sink, options.big_endian);
  WriteFileHeader(e, options, layout);
  for (const Image& image : options.images) e.Raw(image.bytes.data(), image.bytes.size());
  e.PadTo(layout.sections[layout.symtab].offset);
  e.Symbol(0, 0, 0, 0, 0);
  WriteSymbols(e, layout, survey);
  e.Text("");
  WriteNames(e, survey);
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
