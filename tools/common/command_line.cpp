// SPDX-License-Identifier: MIT
#include "command_line.h"

namespace {

const OptionSpec* FindLong(const std::vector<OptionSpec>& specs, std::string_view name) {
  for (const OptionSpec& known : specs) {
    if (name == known.name) return &known;
  }
  return nullptr;
}

const OptionSpec* FindShort(const std::vector<OptionSpec>& specs, char name) {
  for (const OptionSpec& known : specs) {
    if (known.short_name != 0 && known.short_name == name) return &known;
  }
  return nullptr;
}

}  // namespace

bool CommandLine::Has(std::string_view name) const {
  for (const GivenOption& option : options) {
    if (option.name == name) return true;
  }
  return false;
}

std::vector<std::string> CommandLine::Values(std::string_view name) const {
  std::vector<std::string> values;
  for (const GivenOption& option : options) {
    if (option.name == name) values.push_back(option.value);
  }
  return values;
}

std::string CommandLine::Last(std::string_view name, std::string fallback) const {
  for (auto it = options.rbegin(); it != options.rend(); ++it) {
    if (it->name == name) return it->value;
  }
  return fallback;
}

bool ParseCommandLine(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                      CommandLine* line, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      line->operands.insert(line->operands.end(), args.begin() + static_cast<long>(i) + 1,
                            args.end());
      return true;
    }
    const OptionSpec* known = nullptr;
    std::string value;
    bool has_inline_value = false;
    if (arg.size() > 2 && arg[0] == '-' && arg[1] == '-') {
      std::string_view body = std::string_view(arg).substr(2);
      std::size_t equals = body.find('=');
      known = FindLong(specs, body.substr(0, equals));
      if (known == nullptr) {
        *error = "unknown option " +
                 std::string(
                     arg.substr(0, equals == std::string::npos ? std::string::npos : equals + 2));
        return false;
      }
      if (equals != std::string_view::npos) {
        has_inline_value = true;
        value = std::string(body.substr(equals + 1));
      }
    } else if (arg.size() == 2 && arg[0] == '-' && arg[1] != '-') {
      known = FindShort(specs, arg[1]);
      if (known == nullptr) {
        *error = "unknown option " + arg;
        return false;
      }
    } else {
      line->operands.push_back(arg);  // "-" (standard input) too
      continue;
    }
    std::string shown = std::string("--") + known->name;
    if (known->takes_value && !has_inline_value) {
      if (i + 1 >= args.size()) {
        *error = shown + " needs a value";
        return false;
      }
      value = args[++i];
    } else if (!known->takes_value && has_inline_value) {
      *error = shown + " takes no value";
      return false;
    }
    line->options.push_back({known->name, value});
  }
  return true;
}
