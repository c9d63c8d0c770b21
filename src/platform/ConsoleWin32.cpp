#include <windows.h>
// After windows.h, whose types it uses.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/Console.h"
#include "platform/WindowsText.h"

namespace pelvar::platform {

std::vector<std::string> ProgramArguments(int, char**) {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr)
    return arguments;
  for (int i = 1; i < count; ++i)
    arguments.push_back(windows_text::Narrow(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

void UseUtf8Console() {
  ::SetConsoleOutputCP(CP_UTF8);
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
}

}  // namespace pelvar::platform
