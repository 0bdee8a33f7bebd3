// mapsyms [options] FILE...: parses map files through the library, loaded at run time like any
// host program, and prints their records in file order.
#include <cstdio>
#include <string>

#include "library_loader.h"
#include "options.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

struct Record {
  const char* name;
  std::uint32_t value;
};

std::string Hex8(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

std::string JsonString(const char* text) {
  std::string out = "\"";
  for (const char* p = text; *p != '\0'; ++p) {
    auto c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string CsvField(const char* text) {
  std::string field = text;
  if (field.find_first_of(",\"\n") == std::string::npos) return field;
  std::string out = "\"";
  for (char c : field) out += (c == '"') ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

void PrintRecords(const std::vector<Record>& records, OutputFormat format, std::string& out) {
  if (format == OutputFormat::kCsv) out += "name,value\n";
  if (format == OutputFormat::kJson) out += "[";
  bool first = true;
  for (const Record& r : records) {
    switch (format) {
      case OutputFormat::kText:
        out += Hex8(r.value) + "\t" + r.name + "\n";
        break;
      case OutputFormat::kCsv:
        out += CsvField(r.name) + "," + Hex8(r.value) + "\n";
        break;
      case OutputFormat::kJson:
        out += first ? "\n  " : ",\n  ";
        out += "{\"name\": " + JsonString(r.name) + ", \"value\": " + std::to_string(r.value) + "}";
        break;
    }
    first = false;
  }
  if (format == OutputFormat::kJson) out += records.empty() ? "]\n" : "\n]\n";
}

// The record at or nearest below address; among equal values the first in file order.
const Record* Lookup(const std::vector<Record>& records, std::uint32_t address) {
  const Record* best = nullptr;
  for (const Record& r : records) {
    if (r.value <= address && (best == nullptr || r.value > best->value)) best = &r;
  }
  return best;
}

std::vector<Record> CollectRecords(const MapLibrary& lib) {
  std::vector<Record> records;
  std::uint32_t value = 0;
  const char* name = nullptr;
  for (int more = lib.get_first_record(&value, &name); more == 0;
       more = lib.get_next_record(&value, &name)) {
    records.push_back({name, value});
  }
  return records;
}

// Prints what the options ask for; returns the exit status contribution (0, or 1 when a
// lookup finds nothing).
int Report(const MapLibrary& lib, const Options& options, std::string& out) {
  if (options.count_only) {
    out += std::to_string(lib.get_record_count()) + "\n";
    return 0;
  }
  std::vector<Record> records = CollectRecords(lib);
  if (options.lookup) {
    const Record* r = Lookup(records, options.lookup_address);
    if (r == nullptr) return 1;
    std::uint32_t offset = options.lookup_address - r->value;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "+0x%X", static_cast<unsigned>(offset));
    out += std::string(r->name) + (offset != 0 ? suffix : "") + "\n";
    return 0;
  }
  if (options.by_name) {
    std::vector<Record> named;
    for (const Record& r : records) {
      if (options.name == r.name) named.push_back(r);
    }
    records.swap(named);
  }
  PrintRecords(records, options.format, out);
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
  std::string out;
  if (Report(lib, options, out) != 0) status = 1;
  std::fwrite(out.data(), 1, out.size(), stdout);
  lib.free_all_records();
  return status;
}
