#include <windows.h>

#include "text/GbkSystem.h"

namespace pelvar::text::gbk_system {

std::vector<char32_t> DecodeEach(const std::vector<std::string>& sequences) {
  constexpr UINT kCodePage = 936;
  std::vector<char32_t> characters(sequences.size(), 0);
  for (std::size_t i = 0; i < sequences.size(); ++i) {
    const std::string& sequence = sequences[i];
    wchar_t out[4];
    int n = ::MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, sequence.data(),
                                  static_cast<int>(sequence.size()), out, 4);
    // Code page 936 lies in the basic plane: one unit, no surrogates.
    if (n == 1 && (out[0] < 0xD800 || out[0] > 0xDFFF))
      characters[i] = static_cast<char32_t>(out[0]);
  }
  return characters;
}

}  // namespace pelvar::text::gbk_system
