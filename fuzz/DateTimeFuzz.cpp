// Feeds random texts to the reader of the server's date and time. It must
// either give a valid date-time or throw Error; what it gives must read back
// from its own time stamp to the same value, to the second.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/Error.h"
#include "text/Regional.h"

namespace {

void Check(bool condition) {
  if (!condition)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelvar::text;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  DateTime value;
  try {
    value = ParseDateTime(input);
  } catch (const pelvar::Error& e) {
    // what() is a C string: a NUL inside the text ends the message there.
    std::string_view message = e.what();
    Check(message.starts_with("'"));
    if (input.find('\0') == std::string_view::npos) {
      Check(message == "'" + std::string(input) + "' is not a valid date and time");
    }
    return 0;
  }
  Check(value.IsValid());
  DateTime again = ParseDateTime(TimeStamp(value));  // must not throw
  Check(again.IsValid());
  Check(again.year == value.year && again.month == value.month && again.day == value.day &&
        again.hour == value.hour && again.minute == value.minute && again.second == value.second);
  Check(again.millisecond == 0);
  // The clock seam works in epoch milliseconds: the value must survive that too.
  Check(DateTime::FromEpochMilliseconds(value.ToEpochMilliseconds()) == value);
  return 0;
}
