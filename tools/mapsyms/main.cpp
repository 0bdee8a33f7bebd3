// SPDX-License-Identifier: MIT
// mapsyms: symbol map files through the library, loaded at run time like any host program.
// The first word chooses the command (symbolize, diff, check); without one, the files named
// are listed. Each command has its own file; here are what they share: the option parser,
// --help and --version, the library, standard output and the exit codes.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "messages.h"
#include "out_of_memory.h"
#include "wide_paths.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

const char kProgramName[] = "mapsyms";

namespace {

constexpr const char* kToolVersion = "mapsyms " K8MAP_VERSION;

const Command* ChooseCommand(std::vector<std::string>* args) {
  for (const Command* command : {&kSymbolizeCommand, &kDiffCommand, &kCheckCommand, &kExportCommand,
                                 &kReportCommand, &kUsageCommand}) {
    if (!args->empty() && (*args)[0] == command->name) {
      args->erase(args->begin());
      return command;
    }
  }
  return &kListCommand;
}

int UsageError(const Command& command, const std::string& error) {
  Say(error);
  std::fprintf(stderr, "usage: %s\nTry 'mapsyms%s%s --help'.\n", command.usage,
               command.name[0] != '\0' ? " " : "", command.name);
  return kExitUsage;
}

int Finish(Output& out, int status) {
  if (!out.Close()) return kExitFile;
  return status;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  EndOnOutOfMemory();
  std::vector<std::string> args = ProgramArguments(argc, argv);
  const Command& command = *ChooseCommand(&args);
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(args, command.options, &line, &error)) return UsageError(command, error);
  bool asks_about_tool = line.Has("help") || line.Has("version");
  if (!asks_about_tool && !command.check(line, &error)) return UsageError(command, error);
  Output out;
  if (line.Has("help")) {
    out.Put(&command == &kListCommand ? kProgramHelp : "");
    if (&command != &kListCommand) {
      out.Put(std::string("usage: ") + command.usage + "\n\n" + command.help);
    }
    return Finish(out, kExitOk);
  }
  // The tool's own version comes first: it is known even when the library cannot be loaded.
  if (line.Has("version")) out.Put(std::string(kToolVersion) + "\n");
  MapLibrary lib;
  if (!LoadMapLibrary(lib, &error)) {
    out.Flush();
    Say(error);
    return Finish(out, kExitNoLibrary);
  }
  if (line.Has("version")) {
    out.Put(std::string("library ") + lib.get_map_library_version() + " (" +
            lib.get_map_dll_version() + "): " + ShowPath(lib.path) + "\n");
    return Finish(out, kExitOk);
  }
  int status = command.run(lib, line, out);
  return Finish(out, status);
}
