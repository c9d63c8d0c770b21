#pragma once

#include <string>
#include <vector>

namespace pelvar::platform {

// The program's arguments in UTF-8, without the program's name. On Windows
// they are taken from the wide command line, since argv holds the ANSI code
// page's bytes.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Prepares standard output and error for the UTF-8 texts a console program
// prints. On Windows the console shows UTF-8 and line ends are written as
// given, so that output is the same bytes as on Linux.
void UseUtf8Console();

}  // namespace pelvar::platform
