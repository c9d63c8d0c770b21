#include <iconv.h>

#include "text/GbkSystem.h"

namespace pelvar::text::gbk_system {
namespace {

char32_t Convert(iconv_t cd, const std::string& sequence) {
  char in[2] = {};
  sequence.copy(in, sizeof in);
  char* inPtr = in;
  char out[8];
  char* outPtr = out;
  std::size_t inLeft = sequence.size();
  std::size_t outLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
      inLeft != 0 || outPtr - out != 4) {
    return 0;
  }
  return static_cast<char32_t>(
      static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8 |
      static_cast<unsigned char>(out[2]) << 16 | static_cast<unsigned char>(out[3]) << 24);
}

}  // namespace

std::vector<char32_t> DecodeEach(const std::vector<std::string>& sequences) {
  std::vector<char32_t> characters(sequences.size(), 0);
  iconv_t cd = iconv_open("UTF-32LE", "CP936");
  if (cd == reinterpret_cast<iconv_t>(-1))
    return characters;
  for (std::size_t i = 0; i < sequences.size(); ++i)
    characters[i] = Convert(cd, sequences[i]);
  iconv_close(cd);
  return characters;
}

}  // namespace pelvar::text::gbk_system
