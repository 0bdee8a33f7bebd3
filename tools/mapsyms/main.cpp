// mapsyms [options] FILE...: parses map files through the library, loaded at run time like any
// host program, and prints their records in file order.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "library_loader.h"
#include "options.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// Output gathered in a block and written a block at a time.
class Output {
 public:
  ~Output() { Flush(); }
  void Put(const char* text, std::size_t length) {
    if (length > kBlock) {
      Flush();
      std::fwrite(text, 1, length, stdout);
      return;
    }
    std::memcpy(Reserve(length), text, length);
  }
  void Put(const std::string& text) { Put(text.data(), text.size()); }
  void Put(const char* text) { Put(text, std::strlen(text)); }
  // Room for length more bytes (at most one block), filled by the caller.
  char* Reserve(std::size_t length) {
    if (used_ + length > kBlock) Flush();
    char* at = block_.get() + used_;
    used_ += length;
    return at;
  }
  void Flush() {
    std::fwrite(block_.get(), 1, used_, stdout);
    used_ = 0;
  }

 private:
  static constexpr std::size_t kBlock = 1 << 16;
  std::unique_ptr<char[]> block_{new char[kBlock]};
  std::size_t used_ = 0;
};

// "0x" and eight upper-case hexadecimal digits, into ten bytes at text.
void WriteHex8(char* text, std::uint32_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  text[0] = '0';
  text[1] = 'x';
  for (int i = 0; i < 8; ++i) text[2 + i] = kDigits[(value >> (28 - 4 * i)) & 0xF];
}

void PutHex8(Output& out, std::uint32_t value) {
  WriteHex8(out.Reserve(10), value);
}

void PutJsonString(Output& out, const char* text) {
  out.Put("\"", 1);
  for (const char* p = text; *p != '\0'; ++p) {
    auto c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\\') {
      char escaped[2] = {'\\', static_cast<char>(c)};
      out.Put(escaped, 2);
    } else if (c < 0x20) {
      char escaped[8];
      int length = std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out.Put(escaped, static_cast<std::size_t>(length));
    } else {
      out.Put(p, 1);
    }
  }
  out.Put("\"", 1);
}

void PutCsvField(Output& out, const char* text) {
  if (std::strpbrk(text, ",\"\n") == nullptr) return out.Put(text);
  out.Put("\"", 1);
  for (const char* p = text; *p != '\0'; ++p) out.Put(*p == '"' ? "\"\"" : std::string(1, *p));
  out.Put("\"", 1);
}

// Prints records one by one in the chosen format.
class RecordPrinter {
 public:
  RecordPrinter(Output& out, OutputFormat format) : out_(out), format_(format) {
    if (format_ == OutputFormat::kCsv) out_.Put("name,value\n");
    if (format_ == OutputFormat::kJson) out_.Put("[");
  }

  void Print(const char* name, std::uint32_t value) {
    switch (format_) {
      case OutputFormat::kText: {
        std::size_t length = std::strlen(name);
        char* line = out_.Reserve(length + 12);
        WriteHex8(line, value);
        line[10] = '\t';
        std::memcpy(line + 11, name, length);
        line[11 + length] = '\n';
        break;
      }
      case OutputFormat::kCsv:
        PutCsvField(out_, name);
        out_.Put(",", 1);
        PutHex8(out_, value);
        out_.Put("\n", 1);
        break;
      case OutputFormat::kJson:
        out_.Put(printed_ == 0 ? "\n  {\"name\": " : ",\n  {\"name\": ");
        PutJsonString(out_, name);
        out_.Put(", \"value\": " + std::to_string(value) + "}");
        break;
    }
    ++printed_;
  }

  ~RecordPrinter() {
    if (format_ == OutputFormat::kJson) out_.Put(printed_ == 0 ? "]\n" : "\n]\n");
  }

 private:
  Output& out_;
  OutputFormat format_;
  long long printed_ = 0;
};

// Prints what the options ask for; returns the exit status contribution (0, or 1 when a
// lookup finds nothing).
int Report(const MapLibrary& lib, const Options& options, Output& out) {
  if (options.count_only) {
    out.Put(std::to_string(lib.get_record_count()) + "\n");
    return 0;
  }
  std::uint32_t value = 0;
  const char* name = nullptr;
  if (options.lookup) {
    // The record at or nearest below the address; among equal values the first in file order.
    const char* best_name = nullptr;
    std::uint32_t best_value = 0;
    for (int r = lib.get_first_record(&value, &name); r == 0;
         r = lib.get_next_record(&value, &name)) {
      if (value <= options.lookup_address && (best_name == nullptr || value > best_value)) {
        best_name = name;
        best_value = value;
      }
    }
    if (best_name == nullptr) return 1;
    std::uint32_t offset = options.lookup_address - best_value;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "+0x%X", static_cast<unsigned>(offset));
    out.Put(std::string(best_name) + (offset != 0 ? suffix : "") + "\n");
    return 0;
  }
  // The records' own chain, from the first: the layout hosts walk.
  RecordPrinter printer(out, options.format);
  for (const SymbolRecord* r = lib.get_record_top(); r != nullptr; r = r->next) {
    if (!options.by_name || options.name == r->name) printer.Print(r->name, r->value);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "mapsyms: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  MapLibrary lib;
  if (!LoadMapLibrary(lib, &error)) {
    std::fprintf(stderr, "mapsyms: %s\n", error.c_str());
    return 1;
  }
  if (options.version) {
    std::printf("%s\n", lib.get_map_dll_version());
    return 0;
  }
  int status = 0;
  for (const std::string& file : options.files) {
    if (lib.map_parse(file.c_str()) != 0) {
      std::fputs(lib.get_error_message(), stderr);
      status = 1;
      break;
    }
  }
  {
    Output out;
    if (Report(lib, options, out) != 0) status = 1;
  }
  lib.free_all_records();
  return status;
}
