#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/CliMessageBoxes.h"
#include "cli/Commands.h"
#include "config/SettingsStore.h"
#include "platform/Registry.h"

namespace pelvar::cli {
namespace {

std::string TypeName(platform::RegType type) {
  switch (type) {
    case platform::RegType::kNone:
      return "REG_NONE";
    case platform::RegType::kSz:
      return "REG_SZ";
    case platform::RegType::kExpandSz:
      return "REG_EXPAND_SZ";
    case platform::RegType::kBinary:
      return "REG_BINARY";
    case platform::RegType::kDword:
      return "REG_DWORD";
    case platform::RegType::kMultiSz:
      return "REG_MULTI_SZ";
  }
  return "REG_TYPE_" + std::to_string(static_cast<std::uint32_t>(type));
}

// Bytes as lower-case hex pairs joined by commas, as the registry file has them.
std::string HexBytes(const std::string& data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char byte : data) {
    if (!out.empty())
      out += ',';
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
  }
  return out;
}

std::string ValueText(const platform::RegValue& value) {
  switch (value.type) {
    case platform::RegType::kSz:
    case platform::RegType::kExpandSz:
      return value.AsText();
    case platform::RegType::kDword:
      if (value.data.size() <= 4)
        return std::to_string(value.AsNumber());
      break;
    default:
      break;
  }
  return HexBytes(value.data);
}

int Show() {
  config::SettingsStore store;
  // Read rights suffice to look at the settings.
  auto key = platform::Registry::Machine().Open(config::kSettingsKeyPath,
                                                platform::RegAccess::kRead, false);
  if (key == nullptr) {
    CliMessageBoxes boxes;
    boxes.Show(config::kMissingSettingsText, config::kMessageCaption, platform::MessageIcon::kNone);
    return 1;
  }
  for (const auto& [name, value] : key->Values()) {
    std::printf("%s\t%s\t%s\n", name.empty() ? "@" : name.c_str(), TypeName(value.type).c_str(),
                ValueText(value).c_str());
  }
  std::printf("autostart\t%s\n", store.AutostartPresent() ? "present" : "absent");
  return 0;
}

}  // namespace

int SettingsCommand(const std::vector<std::string>& arguments) {
  if (arguments.size() == 1 && arguments[0] == "show")
    return Show();
  std::fputs("usage: pelvar-cli settings show\n", stderr);
  return 2;
}

}  // namespace pelvar::cli
