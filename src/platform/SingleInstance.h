#pragma once

#include <memory>
#include <string>

namespace pelvar::platform {

// A lock held for the life of the process, one per name and logon session:
// on Linux an exclusive flock on "<name>.lock" in RuntimeFolder(), released
// when the object is destroyed or the process ends in any way.
class SingleInstanceLock {
 public:
  virtual ~SingleInstanceLock() = default;
  // Returns nullptr when another holder has the lock already (another
  // process, or another Acquire in this one). When the lock file cannot be
  // opened at all, returns a lock that holds nothing, so the program runs.
  static std::unique_ptr<SingleInstanceLock> Acquire(const std::string& name);
};

}  // namespace pelvar::platform
