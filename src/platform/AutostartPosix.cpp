#include "platform/Autostart.h"

#include <unistd.h>

#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/AtomicFile.h"
#include "platform/Paths.h"

namespace pelvar::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`=";

// The Exec value: the path quoted as one argument when it holds a reserved
// character ("=" too, which an unquoted program path may not contain), with
// "%" doubled so that it is no field code; then the string escapes of the
// file format, applied last because readers undo them first.
std::string ExecValue(const std::string& path) {
  std::string argument;
  bool quote = path.empty() || path.find_first_of(kReserved) != std::string::npos;
  for (char c : path) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
      argument += '\\';
    argument += c;
    if (c == '%')
      argument += '%';
  }
  if (quote)
    argument = "\"" + argument + "\"";

  std::string value;
  for (char c : argument) {
    switch (c) {
      case '\\':
        value += "\\\\";
        break;
      case '\n':
        value += "\\n";
        break;
      case '\t':
        value += "\\t";
        break;
      case '\r':
        value += "\\r";
        break;
      default:
        value += c;
    }
  }
  return value;
}

}  // namespace

bool AutostartEntryPresent() {
  std::error_code ec;
  return fs::is_regular_file(AutostartEntryPath(), ec);
}

bool WriteAutostartEntry(const std::string& executablePath) {
  fs::path entry = AutostartEntryPath();
  std::error_code ec;
  fs::create_directories(entry.parent_path(), ec);
  if (ec)
    return false;
  std::string content =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=检测监管数据上传\n"
      "Exec=" +
      ExecValue(executablePath) +
      "\n"
      "X-GNOME-Autostart-enabled=true\n";

  return ReplaceFileAtomically(entry, content);
}

bool RemoveAutostartEntry() {
  return unlink(AutostartEntryPath().c_str()) == 0;
}

}  // namespace pelvar::platform
