// Command-line options of mapsyms.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class OutputFormat { kText, kCsv, kJson };

struct Options {
  OutputFormat format = OutputFormat::kText;
  bool count_only = false;
  bool lookup = false;
  std::uint32_t lookup_address = 0;
  bool by_name = false;
  std::string name;
  bool version = false;
  bool help = false;
  std::vector<std::string> files;
};

inline constexpr const char* kUsage =
    "usage: mapsyms [--format text|csv|json] [--count] [--lookup ADDR] [--name NAME] "
    "[--version] [--help] FILE...\n";

// Parses argv; returns false with a reason in *error for a bad option or argument.
bool ParseOptions(int argc, char** argv, Options* options, std::string* error);

// Parses a hexadecimal address, with or without "0x"; false when it is not one.
bool ParseAddress(const std::string& text, std::uint32_t* address);
