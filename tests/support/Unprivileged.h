#pragma once

#include <functional>

namespace pelvar::test {

// Runs checks (GoogleTest assertions) as a user without special rights, so
// that file permissions are really enforced: directly when the tests run as
// an ordinary user; as root, in a forked child that has switched to the user
// "nobody" (65534), whose failures are reported as one failure here. Files
// the checks need must be reachable for that user (e.g. chmod 0755 on the
// prefix).
void RunUnprivileged(const std::function<void()>& checks);

}  // namespace pelvar::test
