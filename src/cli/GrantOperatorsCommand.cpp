#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "config/SettingsStore.h"
#include "platform/OperatorRights.h"

namespace pelvar::cli {

int GrantOperatorsCommand(const std::vector<std::string>& arguments) {
  bool clock = false;
  for (const std::string& argument : arguments) {
    if (argument != "--clock") {
      std::fprintf(stderr, "usage: pelvar-cli grant-operators [--clock]\n");
      return 2;
    }
    clock = true;
  }
  const auto rights = platform::GrantOperatorRights(config::kSettingsKeyPath, clock);
  if (rights.empty()) {
    std::printf(
        "nothing to grant here: the package's installation gives the pelvar group "
        "these rights\n");
    return 0;
  }
  int code = 0;
  for (const platform::OperatorRight& right : rights) {
    if (right.granted) {
      std::printf("ok    Users: %s\n", right.what.c_str());
    } else {
      std::printf("FAIL  Users: %s: %s\n", right.what.c_str(), right.detail.c_str());
      code = 1;
    }
  }
  return code;
}

}  // namespace pelvar::cli
