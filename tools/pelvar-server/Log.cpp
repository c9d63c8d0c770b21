#include "Log.h"

#include <cstdio>
#include <mutex>

#include "LocalTime.h"
#include "text/Regional.h"

namespace pelvar::server {

void LogLine(const std::string& text) {
  static std::mutex mutex;
  std::string line = text::TimeStamp(LocalTimeNow()) + " " + text + "\n";
  std::lock_guard<std::mutex> lock(mutex);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

}  // namespace pelvar::server
