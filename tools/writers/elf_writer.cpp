// SPDX-License-Identifier: MIT
// The ELF export: a 32-bit executable file with no program, only sections and symbols, so that
// every tool shows each symbol at its map value. Each memory region is a section without bytes
// (.text, .text.1, ... for code, .data, .data.1, ... for variables) and each image a section with
// its bytes; a symbol lies in the section of its region or image, every other kind is absolute.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <exception>
#include <functional>
#include <future>
#include <string_view>

#include "format_writers.h"
#include "large_pages.h"
#include "memory_layout.h"
#include "run_beside.h"

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

// Fields in the file's byte order, written into the sink's block.
class Encoder {
 public:
  Encoder(ByteSink& sink, bool big_endian) : sink_(sink), big_endian_(big_endian) {}

  void U8(std::uint8_t value) { *Room(1) = static_cast<char>(value); }
  void U16(std::uint16_t value) { Put(Room(2), value, 2); }
  void U32(std::uint32_t value) { Put(Room(4), value, 4); }
  // A symbol table entry, the fields in their order in the file.
  void Symbol(std::uint32_t name, std::uint32_t value, std::uint32_t size, std::uint8_t info,
              std::uint16_t section, bool kept = true) {
    char* at = Room(kSymbolSize);
    Put(at, name, 4);
    Put(at + 4, value, 4);
    Put(at + 8, size, 4);
    at[12] = static_cast<char>(info);
    at[13] = 0;
    Put(at + 14, section, 2);
    // An entry not kept is taken back.
    std::size_t dropped = kept ? 0 : kSymbolSize;
    written_ -= dropped;
    sink_.GiveBack(dropped);
  }
  // Text and its terminating zero.
  void Text(std::string_view text) {
    char* at = Room(text.size() + 1);
    std::memcpy(at, text.data(), text.size());
    at[text.size()] = '\0';
  }
  // A name and its terminating zero, copied by the sink: names are short, and a copy of a size
  // known only to be below 256 is made inline much slower.
  void Name(const char* name, std::size_t length) {
    Raw(name, length);
    U8(0);
  }
  void Raw(const void* data, std::size_t size) {
    sink_.Write(data, size);
    written_ += size;
  }
  void PadTo(std::uint64_t offset) {
    while (written_ < offset) U8(0);
  }

 private:
  char* Room(std::size_t size) {
    written_ += size;
    return sink_.Room(size);
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
  std::uint64_t written_ = 0;
};

struct Layout {
  std::vector<Section> sections;
  std::uint32_t symtab = 0;  // the index of .symtab
  std::uint64_t section_headers = 0;
};

// Sections number at most this many: indexes from 0xFF00 up have meanings of their own.
constexpr std::size_t kMostSections = 0xFF00;

// Each region's section follows the null section in region order; no region: absolute.
std::uint16_t SectionOf(std::uint32_t region) {
  return region == kNoRegion || region + 1 >= kMostSections
             ? kAbsolute
             : static_cast<std::uint16_t>(region + 1);
}

// Each kind's ELF type: Func. and Addr. are functions, Var. objects; a loc. label inside a
// function is a plain symbol, as assemblers write labels, and the other kinds have no type. A
// table: kinds come in no order a processor could predict.
constexpr auto kTypeOfKind = [] {
  std::array<std::uint8_t, 256> types{};  // kNoType
  types[K8MAP_KIND_ADDR] = types[K8MAP_KIND_FUNC] = kFunction;
  types[K8MAP_KIND_VAR] = kObject;
  return types;
}();

std::uint8_t Info(bool local, std::uint8_t type) {
  return static_cast<std::uint8_t>(((local ? kLocal : kGlobal) << 4) | type);
}

// A mapping symbol of Thumb code: "$t" where code begins inside an image, "$d" where data does.
struct MappingSymbol {
  bool data;
  std::uint32_t value;
  std::uint16_t section;
};

std::vector<ImageSpan> ImageSpans(const std::vector<Image>& images) {
  std::vector<ImageSpan> spans;
  for (const Image& image : images) spans.push_back({image.address, image.bytes.size()});
  return spans;
}

// Where the symbols lie: the memory's regions, and each symbol's section.
struct Placement {
  MemoryLayout memory;
  std::vector<std::uint16_t> sections;
  // The sections of the symbols [begin, end), from the memory's regions.
  void FindSections(const std::vector<const MapSymbol*>& symbols, std::size_t begin,
                    std::size_t end) {
    for (std::size_t i = begin; i < end; ++i)
      sections[i] = SectionOf(memory.RegionOf(i, *symbols[i]));
  }
};

// What a pass over the symbols gathers before the file is laid out. The symbol table holds the
// null symbol, the mapping symbols, the map's local symbols in map order, then its globals; the
// string table holds "", the map's names in map order (read in one sweep), then the mapping
// symbols' names.
struct Survey {
  std::vector<MappingSymbol> mapping;
  // Where each symbol's name begins in the string table, and after them where the mapping
  // symbols' names begin: names are at most 255 bytes.
  std::vector<std::uint32_t> names;
  // Each symbol's value and binding and type as the symbol table holds them: read here, where
  // every symbol is visited in map order, rather than from the table in the symbol table's.
  std::vector<std::uint32_t> values;
  std::vector<std::uint8_t> infos;
  std::size_t map_locals = 0;  // the map's local symbols
  std::uint64_t string_bytes = 1;
  std::uint64_t entries() const { return mapping.size() + values.size(); }
  // The local symbols: the null symbol, the mapping symbols and the map's locals.
  std::uint32_t locals() const {
    return static_cast<std::uint32_t>(1 + mapping.size() + map_locals);
  }
};

bool IsLocal(const MapSymbol& s) {
  return s.scope != 'g';
}

// Thumb code's mapping symbols where code and data begin inside each image, so that
// disassemblers tell instructions from tables.
void AddMappingSymbols(const std::vector<const MapSymbol*>& symbols, const MemoryLayout& memory,
                       Survey& survey) {
  for (std::uint32_t r = 0; r < memory.regions.size(); ++r) {
    const MemoryRegion& region = memory.regions[r];
    if (region.group != RegionGroup::kImage) continue;
    const std::vector<std::uint64_t>& order = memory.buckets[BucketOf(region)];
    int was = -1;  // 0: code, 1: data
    for (std::size_t at = region.begin; at < region.end; ++at) {
      const MapSymbol& s = *symbols[static_cast<std::uint32_t>(order[at])];
      int is = IsDataKind(s.kind);
      if (is == was) continue;
      was = is;
      survey.mapping.push_back({is == 1, s.value, SectionOf(r)});
      survey.string_bytes += 3;
    }
  }
}

// The map's symbols in one pass: where their names lie in the string table, their values,
// bindings and types as the symbol table holds them, and how many are local.
Survey SurveySymbols(const std::vector<const MapSymbol*>& symbols, bool thumb) {
  Survey survey;
  SizeOnLargePages(survey.names, symbols.size() + 1);
  SizeOnLargePages(survey.values, symbols.size());
  SizeOnLargePages(survey.infos, symbols.size());
  std::size_t locals = 0;
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    const MapSymbol& s = *symbols[i];
    std::size_t length = std::min<std::size_t>(std::strlen(s.name), 255);
    survey.names[i] = static_cast<std::uint32_t>(survey.string_bytes);
    survey.string_bytes += length + 1;
    std::uint8_t type = kTypeOfKind[s.kind];
    // A Thumb function's value has bit 0 set; its code begins at the even address.
    survey.values[i] = s.value | (thumb && type == kFunction ? 1u : 0u);
    bool local = IsLocal(s);
    survey.infos[i] = Info(local, type);
    locals += local;
  }
  survey.names.back() = static_cast<std::uint32_t>(survey.string_bytes);
  survey.map_locals = locals;
  return survey;
}

// Lays out the symbols' memory and finds their sections while this thread surveys their names:
// a thread of its own lays out the memory, then the two threads find half the sections each.
Placement PlaceBesideSurvey(const std::vector<const MapSymbol*>& symbols,
                            const ExportOptions& options, Survey* survey) {
  Placement placement;
  SizeOnLargePages(placement.sections, symbols.size());
  std::size_t half = symbols.size() / 2;
  // A promise rather than std::latch: the Windows build's latch (the C++ library's atomic wait)
  // now and then missed its wake-up under Wine, and the export hung.
  std::promise<void> laid_out;
  std::future<void> layout_ready = laid_out.get_future();
  std::exception_ptr failure;
  auto place = [&] {
    try {
      placement.memory =
          LayOutMemory(symbols, options.region_gap, ImageSpans(options.images),
                       options.sizes ? LayoutDetail::kSizes : LayoutDetail::kRegions);
    } catch (...) {
      failure = std::current_exception();
    }
    laid_out.set_value();
    if (failure == nullptr) placement.FindSections(symbols, 0, half);
  };
  std::jthread placing = RunBeside(place);
  *survey = SurveySymbols(symbols, options.thumb);
  layout_ready.wait();
  if (failure != nullptr) std::rethrow_exception(failure);
  placement.FindSections(symbols, half, symbols.size());
  return placement;
}

// A section without bytes over each code and data region, and one with its bytes for each image.
bool LayRegions(const ExportOptions& options, const MemoryLayout& memory, Layout* layout,
                std::uint64_t* offset, std::string* error) {
  if (memory.regions.size() + 5 > kMostSections) {
    *error = "the symbols lie in " + std::to_string(memory.regions.size()) +
             " regions, more than an ELF file has sections for: give a larger --region-gap";
    return false;
  }
  std::vector<Section>& sections = layout->sections;
  std::uint32_t code = 0, data = 0;
  for (const MemoryRegion& region : memory.regions) {
    if (region.group == RegionGroup::kImage) {
      const Image& image = options.images[region.number];
      sections.push_back({".image" + std::to_string(region.number), kProgBits, kAlloc | kExecute,
                          image.address, static_cast<std::uint32_t>(*offset),
                          static_cast<std::uint32_t>(image.bytes.size())});
      sections.back().bytes = &image.bytes;
      *offset += image.bytes.size();
      continue;
    }
    bool is_data = region.group == RegionGroup::kData;
    std::uint32_t& number = is_data ? data : code;
    std::string name = is_data ? ".data" : ".text";
    if (number > 0) name += "." + std::to_string(number);
    ++number;
    // The highest symbol lies inside its section too.
    sections.push_back({name, kNoBits, is_data ? kAlloc | kWrite : kAlloc | kExecute, region.first,
                        kHeaderSize, region.last - region.first + 1});
  }
  return true;
}

bool Lay(const ExportOptions& options, const MemoryLayout& memory, const Survey& survey,
         Layout* layout, std::string* error) {
  std::vector<Section>& sections = layout->sections;
  sections.push_back({});
  std::uint64_t offset = kHeaderSize;
  if (!LayRegions(options, memory, layout, &offset, error)) return false;
  offset = (offset + 3) & ~std::uint64_t{3};
  layout->symtab = static_cast<std::uint32_t>(sections.size());
  std::uint64_t symtab_size = kSymbolSize * (survey.entries() + 1);
  sections.push_back({".symtab", kSymTab, 0, 0, static_cast<std::uint32_t>(offset),
                      static_cast<std::uint32_t>(symtab_size), layout->symtab + 1, survey.locals(),
                      4, kSymbolSize});
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

// The symbol table after its null symbol: the mapping symbols, then the map's locals, then its
// globals, each naming its text in the string table.
void WriteSymbols(Encoder& e, const ExportOptions& options, const Placement& placement,
                  const Survey& survey) {
  std::uint32_t name = survey.names.back();
  for (const MappingSymbol& m : survey.mapping) {
    e.Symbol(name, m.value, 0, Info(true, kNoType), m.section);
    name += 3;
  }
  // The locals in one sweep, then the globals in another: each symbol's entry is written, and
  // kept when of the sweep's binding (a branch on the binding would follow no pattern a
  // processor could predict).
  for (std::uint8_t binding : {kLocal, kGlobal}) {
    for (std::size_t i = 0; i < survey.values.size(); ++i) {
      std::uint8_t info = survey.infos[i];
      // A label has no size in ELF, as assemblers write labels: a debugger then names an
      // address after the function that holds it.
      bool sized = options.sizes && (info & 0xF) != kNoType;
      std::int64_t size = sized ? std::max<std::int64_t>(placement.memory.sizes[i], 0) : 0;
      e.Symbol(survey.names[i], survey.values[i], static_cast<std::uint32_t>(size), info,
               placement.sections[i], (info >> 4) == binding);
    }
  }
}

// A table keeps the names of neighbouring symbols side by side, each ended by its zero: a run of
// such names, whole, is copied at once.
void WriteNames(Encoder& e, const std::vector<const MapSymbol*>& symbols, const Survey& survey) {
  auto length = [&](std::size_t i) { return survey.names[i + 1] - survey.names[i] - 1; };
  for (std::size_t i = 0; i < symbols.size();) {
    const char* run = symbols[i]->name;
    const char* end = run;
    std::size_t next = i;
    while (next < symbols.size() && symbols[next]->name == end && end[length(next)] == '\0') {
      end += length(next) + 1;
      ++next;
    }
    if (next == i) {  // a name longer than a table keeps: its first 255 bytes
      e.Name(run, length(i));
      ++i;
    } else {
      e.Raw(run, static_cast<std::size_t>(end - run));
      i = next;
    }
  }
  for (const MappingSymbol& m : survey.mapping) e.Text(m.data ? "$d" : "$t");
}

void WriteSectionHeader(Encoder& e, const Section& s, std::uint32_t name) {
  for (std::uint32_t field : {name, s.type, s.flags, s.address, s.offset, s.size, s.link, s.info,
                              s.align, s.entry_size}) {
    e.U32(field);
  }
}

// Global names that the maps give different values: names hashed and sorted, so that equal
// names lie side by side.
std::uint64_t RepeatedGlobals(const std::vector<const MapSymbol*>& symbols) {
  std::vector<std::pair<std::uint64_t, const MapSymbol*>> globals;
  for (const MapSymbol* s : symbols) {
    if (s->scope == 'g') globals.emplace_back(std::hash<std::string_view>{}(s->name), s);
  }
  std::sort(globals.begin(), globals.end());
  std::uint64_t repeated = 0;
  for (std::size_t at = 0; at < globals.size();) {
    std::size_t end = at + 1;  // the run of one hash
    while (end < globals.size() && globals[end].first == globals[at].first) ++end;
    for (std::size_t i = at + 1; i < end; ++i) {
      for (std::size_t first = at; first < i; ++first) {
        if (std::strcmp(globals[first].second->name, globals[i].second->name) != 0) continue;
        repeated += globals[first].second->value != globals[i].second->value ? 1 : 0;
        break;  // each name is held to its first occurrence
      }
    }
    at = end;
  }
  return repeated;
}

// What looks wrong to a reader of the file: a global name two maps give different values,
// an image without symbols.
void SurveyDoubts(const std::vector<const MapSymbol*>& symbols, const ExportOptions& options,
                  const MemoryLayout& memory, ExportReport* report) {
  if (options.map_names.size() > 1) report->repeated_globals = RepeatedGlobals(symbols);
  for (const MemoryRegion& region : memory.regions) {
    if (region.group != RegionGroup::kImage || region.count() > 0) continue;
    const Image& image = options.images[region.number];
    report->empty_images.push_back(image.path + " at " + Hex8(image.address));
  }
}

}  // namespace

bool WriteElf(const std::vector<const MapSymbol*>& symbols, const ExportOptions& options,
              ByteSink& sink, ExportReport* report, std::string* error) {
  if (!ImagesApart(options.images, error)) return false;
  Survey survey;
  Placement placement = PlaceBesideSurvey(symbols, options, &survey);
  const MemoryLayout& memory = placement.memory;
  if (options.thumb) AddMappingSymbols(symbols, memory, survey);
  Layout layout;
  if (!Lay(options, memory, survey, &layout, error)) return false;
  SurveyDoubts(symbols, options, memory, report);
  Encoder e(sink, options.big_endian);
  WriteFileHeader(e, options, layout);
  for (const Section& s : layout.sections) {
    if (s.bytes != nullptr) e.Raw(s.bytes->data(), s.bytes->size());
  }
  e.PadTo(layout.sections[layout.symtab].offset);
  e.Symbol(0, 0, 0, 0, 0);
  WriteSymbols(e, options, placement, survey);
  e.Text("");
  WriteNames(e, symbols, survey);
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
