#pragma once

#include <memory>
#include <string>

namespace pelvar::platform {

// A lock held for the life of the process, one per name and logon session.
class SingleInstanceLock {
 public:
  virtual ~SingleInstanceLock() = default;
  // Returns nullptr when another process holds the lock already.
  static std::unique_ptr<SingleInstanceLock> Acquire(const std::string& name);
};

}  // namespace pelvar::platform
