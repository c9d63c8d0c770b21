// Feeds random bytes as a registry file. The parser must either give keys or
// throw Error naming the file and the line; keys it gives must survive being
// written out and read again exactly (names, types and data bytes), since
// the file registry rewrites the whole file on every change.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/RegeditText.h"
#include "text/Error.h"

namespace {

void Check(bool condition) {
  if (!condition)
    std::abort();
}

bool SameKeys(const std::vector<pelvar::platform::RegeditKey>& a,
              const std::vector<pelvar::platform::RegeditKey>& b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].name != b[i].name || a[i].values != b[i].values)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelvar::platform;
  // Half the inputs get a valid start, so the fuzzer spends its time in the
  // key and value forms rather than on finding the header.
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (size > 0 && (data[0] & 1) != 0) {
    bytes = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n" + bytes.substr(1);
  }
  std::vector<RegeditKey> keys;
  try {
    keys = ParseRegeditText(bytes, "machine.reg");
  } catch (const pelvar::Error& e) {
    std::string_view message = e.what();
    Check(message.starts_with("Registry file 'machine.reg' is malformed at line "));
    return 0;
  }
  std::string written = FormatRegeditText(keys);
  std::vector<RegeditKey> again = ParseRegeditText(written, "machine.reg");  // must not throw
  Check(SameKeys(keys, again));
  Check(FormatRegeditText(again) == written);
  return 0;
}
