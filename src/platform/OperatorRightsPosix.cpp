#include "platform/OperatorRights.h"

namespace pelvar::platform {

std::vector<OperatorRight> GrantOperatorRights(const std::string& /*settingsKeyPath*/,
                                               bool /*clock*/) {
  return {};
}

}  // namespace pelvar::platform
