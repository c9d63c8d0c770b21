#include "LocalTime.h"

#include <sys/time.h>
#include <time.h>

namespace pelvar::server {

text::DateTime LocalTimeNow() {
  timeval now{};
  gettimeofday(&now, nullptr);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  text::DateTime value;
  value.year = local.tm_year + 1900;
  value.month = local.tm_mon + 1;
  value.day = local.tm_mday;
  value.hour = local.tm_hour;
  value.minute = local.tm_min;
  value.second = local.tm_sec;
  value.millisecond = static_cast<int>(now.tv_usec / 1000);
  return value;
}

}  // namespace pelvar::server
