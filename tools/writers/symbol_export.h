// SPDX-License-Identifier: MIT
// Symbols of parsed maps written in the forms other tools read: an ELF symbol file (debuggers,
// disassemblers, binutils, the linker's --just-symbols), a GNU linker script of PROVIDE lines, a
// C header of #defines, and a plain "ADDRESS name" list. Used by mapsyms export and the Python
// package, so that both write the same bytes. Depends on the public header's types only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "byte_sink.h"
#include "kestrum8_map.h"

namespace k8writers {

enum class ExportFormat { kElf, kLinkerScript, kHeader, kSymbolList };

// "elf", "ld", "h" or "sym"; false for any other text.
bool ParseExportFormat(std::string_view text, ExportFormat* format);
// The formats' names as a sentence lists them: "elf, ld, h or sym".
std::string FormatNames();

// The symbols of one parsed map, as the library hands them.
struct MapSymbols {
  std::string name;  // the map's path as shown in messages and in the files' comments
  const MapSymbol* symbols;
  std::size_t count;
};

// Which symbols go out: kinds as K8MAP_KIND_MASK bits, scope letters (empty: every scope),
// name patterns (empty: every name; else any of them).
struct Selection {
  unsigned kinds = 0;
  std::string scopes;
  std::vector<std::string> names;
};

// Each format's selection when the caller gives none of its own.
Selection DefaultSelection(ExportFormat format);

// The selected symbols of every map, in map order, the maps one after the other.
std::vector<const MapSymbol*> SelectSymbols(const std::vector<MapSymbols>& maps,
                                            const Selection& selection);

// A raw binary image placed at an address in the ELF file.
struct Image {
  std::string path;
  std::uint32_t address = 0;
  std::vector<unsigned char> bytes;
};

// Why a file could not be read or written: the sentence for the user, and the system's reason
// (an errno value) where the system refused, 0 where it did not (an empty image, say).
struct FileFailure {
  std::string message;
  int system = 0;
};

// Reads the image at path, to be placed at address; false with the reason.
bool ReadImageFile(const std::string& path, std::uint32_t address, Image* image,
                   FileFailure* failure);

// False with the reason when any two images share an address.
bool ImagesApart(const std::vector<Image>& images, std::string* error);

// The ELF machine number of a name ("arm", "riscv", ...) or a hexadecimal number (with or
// without 0x); false for neither.
bool ParseMachine(std::string_view text, std::uint16_t* machine);
// The machine names known, for messages: "none, 386, arm, ...".
std::string MachineNames();

struct ExportOptions {
  ExportFormat format = ExportFormat::kElf;
  std::vector<std::string> map_names;  // for the comments of the text formats
  std::string output_name;             // the header's include guard is made from it
  std::uint16_t machine = 0;
  bool big_endian = false;
  bool sizes = false;
  bool thumb = false;                  // ARM Thumb code: functions' values odd, mapping symbols
  std::uint32_t region_gap = 0x10000;  // a region ends at a step between values larger than this
  std::vector<Image> images;
};

// What a write left to say: names given again with another value (ld and h: left out, the first
// kept); global names given again with another value (elf: each written); images that hold no
// symbol of the maps (elf: a wrong address, most likely), as "PATH at 0xADDRESS".
struct ExportReport {
  std::uint64_t conflicts = 0;
  std::uint64_t repeated_globals = 0;
  std::vector<std::string> empty_images;
};

// Writes the symbols in the format; false with the reason (overlapping images, an image out of
// the 32-bit space) before anything is written.
bool WriteExport(const std::vector<const MapSymbol*>& symbols, const ExportOptions& options,
                 ByteSink& sink, ExportReport* report, std::string* error);

// The same into the file at path, written beside it and renamed into place when complete (a
// file that is no regular file, such as a device, is written in place). False with the reason,
// and no partial file left, when it cannot be written.
bool ExportToFile(const std::vector<const MapSymbol*>& symbols, const ExportOptions& options,
                  const std::string& path, ExportReport* report, FileFailure* failure);

// The sentences for standard error about a report, none when there is nothing to say.
std::vector<std::string> ReportLines(const ExportReport& report);

}  // namespace k8writers
