#include "text/Gbk.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>

namespace pelvar::text {
namespace {

bool IsAscii(std::string_view s) {
  for (unsigned char c : s) {
    if (c >= 0x80) return false;
  }
  return true;
}

// One converter per direction and thread, opened on first use.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts input; at every unmappable or truncated sequence it appends
  // replacement and skips skip(rest) bytes, so the rest is never lost.
  template <typename Skip>
  std::string Run(std::string_view input, std::string_view replacement, Skip skip,
                  bool* clean = nullptr) {
    std::string out;
    out.reserve(input.size() * 3 / 2 + 8);
    if (clean) *clean = true;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char buffer[4096];
    while (inLeft > 0) {
      char* outPtr = buffer;
      std::size_t outLeft = sizeof buffer;
      std::size_t rc = iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
      out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
      if (rc != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: replace the offending sequence and go on.
      if (clean) *clean = false;
      out.append(replacement);
      std::size_t n = skip(std::string_view(in, inLeft));
      in += n;
      inLeft -= n;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

// Length of the UTF-8 sequence that starts rest, at least 1.
std::size_t Utf8SequenceLength(std::string_view rest) {
  unsigned char lead = static_cast<unsigned char>(rest[0]);
  std::size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  std::size_t i = 1;
  while (i < n && i < rest.size() &&
         (static_cast<unsigned char>(rest[i]) & 0xC0) == 0x80) {
    ++i;
  }
  return i;
}

Converter& ToUtf8() {
  thread_local Converter converter("UTF-8", "CP936");
  return converter;
}

Converter& ToGbk() {
  thread_local Converter converter("CP936", "UTF-8");
  return converter;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
  if (IsAscii(gbk)) return std::string(gbk);
  return ToUtf8().Run(gbk, "\xEF\xBF\xBD", [](std::string_view) -> std::size_t { return 1; });
}

std::string Utf8ToGbk(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  return ToGbk().Run(utf8, "?", Utf8SequenceLength);
}

bool IsValidGbk(std::string_view gbk) {
  if (IsAscii(gbk)) return true;
  bool clean = true;
  ToUtf8().Run(gbk, "", [](std::string_view) -> std::size_t { return 1; }, &clean);
  return clean;
}

}  // namespace pelvar::text
