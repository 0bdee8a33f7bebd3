// SPDX-License-Identifier: MIT
// The one option parser of the programs and every mapsyms command: long options as "--name value"
// or
// "--name=value", a few short ones ("-h", "-V"), options given more than once kept in order,
// "--" ending the options; everything else an operand.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct OptionSpec {
  const char* name;  // without the dashes
  char short_name;   // 0 for none
  bool takes_value;
};

struct GivenOption {
  std::string name;
  std::string value;
};

struct CommandLine {
  std::vector<GivenOption> options;  // in the order given
  std::vector<std::string> operands;

  bool Has(std::string_view name) const;
  // The values of every use of the option, in order.
  std::vector<std::string> Values(std::string_view name) const;
  // The value of the last use, or fallback.
  std::string Last(std::string_view name, std::string fallback = "") const;
};

// Parses args against specs; false with the reason in *error for an unknown option or a
// missing value.
bool ParseCommandLine(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                      CommandLine* line, std::string* error);
