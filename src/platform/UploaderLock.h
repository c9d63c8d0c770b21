#pragma once

#include <memory>

namespace pelvar::platform {

// One uploader per machine. Whoever uploads holds this lock for as long as
// uploading runs (the window program and `pelvar-cli run` from Run to Stop,
// `pelvar-cli cycle` for its cycle), so two uploaders on the same relay
// never send the same rows. On Linux an exclusive flock on "uploader.lock"
// beside the settings file; the system releases it when the object is
// destroyed or the process ends in any way.
class UploaderLock {
 public:
  virtual ~UploaderLock() = default;

  // The lock, or nullptr when another holder has it (another process, or
  // another TryAcquire in this one). Throws Error when the lock cannot be
  // taken at all (its folder missing, no access, something other than a
  // plain file in its place, a symlink included); nothing is held then.
  static std::unique_ptr<UploaderLock> TryAcquire();

  // Whether an uploader holds the lock now, this process included. Never
  // creates the lock file; throws Error like TryAcquire.
  static bool UploaderRunning();
};

}  // namespace pelvar::platform
