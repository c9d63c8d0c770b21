#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace pelvar::server {

// The room all sessions together may hold for statement frames. A session
// takes a frame's length before receiving its statement and gives it back
// once the frame has been answered; while the room is taken by others it
// stops reading, and the client's sends wait in its socket.
class FrameBudget {
 public:
  explicit FrameBudget(std::uint64_t bytes) : free_(bytes) {}

  // Waits until bytes are free and takes them; false when stop() said to
  // give up first. Requires: bytes is at most the whole budget.
  bool Take(std::uint64_t bytes, const std::function<bool()>& stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (free_ < bytes) {
      if (stop())
        return false;
      freed_.wait_for(lock, std::chrono::milliseconds(100));
    }
    free_ -= bytes;
    return true;
  }

  void Give(std::uint64_t bytes) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      free_ += bytes;
    }
    freed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable freed_;
  std::uint64_t free_;
};

}  // namespace pelvar::server
