#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "platform/Console.h"
#include "text/Error.h"

namespace {

void PrintUsage(std::FILE* out) {
  std::fputs("usage: pelvar-cli COMMAND [ARGUMENTS]\n\ncommands:\n", out);
  for (const auto& command : pelvar::cli::AllCommands()) {
    std::string line = std::string(command.name) + " " + command.usage;
    std::fprintf(out, "  %-24s %s\n", line.c_str(), command.summary);
  }
}

}  // namespace

int main(int argc, char** argv) {
  pelvar::platform::UseUtf8Console();
  std::vector<std::string> arguments = pelvar::platform::ProgramArguments(argc, argv);
  if (arguments.empty()) {
    PrintUsage(stderr);
    return 2;
  }
  std::string name = arguments.front();
  if (name == "--help" || name == "-h" || name == "help") {
    PrintUsage(stdout);
    return 0;
  }
  for (const auto& command : pelvar::cli::AllCommands()) {
    if (name != command.name)
      continue;
    try {
      return command.run(std::vector<std::string>(arguments.begin() + 1, arguments.end()));
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s\n", error.what());
      return 1;
    }
  }
  std::fprintf(stderr, "pelvar-cli: unknown command '%s'\n", name.c_str());
  PrintUsage(stderr);
  return 2;
}
