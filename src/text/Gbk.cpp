#include "text/Gbk.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "text/GbkSystem.h"

namespace pelvar::text {
namespace {

// Conversion goes through tables built once from the system's converter:
// every text of every row read and every statement sent passes through
// here, and a table lookup is many times faster than a converter call.
class GbkTables {
 public:
  GbkTables() : pairs_(kLeadCount * 256, 0), reverse_(0x10000, 0) {
    std::vector<std::string> sequences;
    std::vector<std::uint16_t> codes;
    for (int b = 0x80; b <= 0xFF; ++b) {
      sequences.emplace_back(1, static_cast<char>(b));
      codes.push_back(static_cast<std::uint16_t>(b));
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        sequences.push_back({static_cast<char>(lead), static_cast<char>(trail)});
        codes.push_back(static_cast<std::uint16_t>(lead << 8 | trail));
      }
    }
    const std::vector<char32_t> characters = gbk_system::DecodeEach(sequences);
    for (std::size_t i = 0; i < codes.size(); ++i) {
      const char32_t cp = characters[i];
      const std::uint16_t code = codes[i];
      if (cp == 0)
        continue;
      if (code < 0x100)
        singles_[code - 0x80] = cp;
      else
        pairs_[((code >> 8) - 0x81) * 256 + (code & 0xFF)] = cp;
      Remember(cp, code);
    }
  }

  // The character of the pair lead, trail; 0 when there is none.
  char32_t Pair(unsigned char lead, unsigned char trail) const {
    if (lead < 0x81 || lead > 0xFE)
      return 0;
    return pairs_[(lead - 0x81) * 256 + trail];
  }
  char32_t Single(unsigned char b) const { return b >= 0x80 ? singles_[b - 0x80] : b; }
  // The GBK code of a character: one byte below 0x100, else lead << 8 | trail;
  // 0 when GBK cannot hold it.
  std::uint16_t Code(char32_t cp) const { return cp < reverse_.size() ? reverse_[cp] : 0; }

 private:
  static constexpr int kLeadCount = 0xFE - 0x81 + 1;

  // The first (lowest) code of a character wins when several map to it.
  void Remember(char32_t cp, std::uint16_t code) {
    if (cp < reverse_.size() && reverse_[cp] == 0)
      reverse_[cp] = code;
  }

  std::array<char32_t, 128> singles_{};
  std::vector<char32_t> pairs_;
  std::vector<std::uint16_t> reverse_;
};

const GbkTables& Tables() {
  static const GbkTables tables;
  return tables;
}

bool IsAscii(std::string_view s) {
  for (unsigned char c : s) {
    if (c >= 0x80)
      return false;
  }
  return true;
}

// Writes cp as UTF-8 at out and returns the end.
char* PutUtf8(char* out, char32_t cp) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | cp >> 6);
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | cp >> 12);
    *out++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | cp >> 18);
    *out++ = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

// Decodes the UTF-8 sequence at s[i]: its character and length, or
// character 0 and the length to skip when the sequence is broken.
std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view s, std::size_t i) {
  const unsigned char lead = static_cast<unsigned char>(s[i]);
  std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (lead < 0xC2 || lead > 0xF4)
    return {0, 1};
  char32_t cp = lead & (0x3F >> (length - 1));
  std::size_t n = 1;
  for (; n < length && i + n < s.size(); ++n) {
    unsigned char c = static_cast<unsigned char>(s[i + n]);
    if ((c & 0xC0) != 0x80)
      break;
    cp = cp << 6 | (c & 0x3F);
  }
  if (n < length)
    return {0, n};
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return {0, length};
  }
  return {cp, length};
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
  if (IsAscii(gbk))
    return std::string(gbk);
  const GbkTables& tables = Tables();
  // Every GBK byte becomes at most three UTF-8 bytes.
  std::string out(gbk.size() * 3, '\0');
  char* put = out.data();
  for (std::size_t i = 0; i < gbk.size();) {
    const unsigned char b = static_cast<unsigned char>(gbk[i]);
    if (b < 0x80) {
      *put++ = static_cast<char>(b);
      ++i;
    } else if (char32_t cp = i + 1 < gbk.size()
                                 ? tables.Pair(b, static_cast<unsigned char>(gbk[i + 1]))
                                 : 0) {
      put = PutUtf8(put, cp);
      i += 2;
    } else {
      char32_t single = tables.Single(b);
      put = PutUtf8(put, single != 0 ? single : U'\uFFFD');
      ++i;
    }
  }
  out.resize(static_cast<std::size_t>(put - out.data()));
  return out;
}

std::string Utf8ToGbk(std::string_view utf8) {
  if (IsAscii(utf8))
    return std::string(utf8);
  const GbkTables& tables = Tables();
  // A GBK character never takes more bytes than its UTF-8 sequence.
  std::string out(utf8.size(), '\0');
  char* put = out.data();
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      *put++ = static_cast<char>(b);
      ++i;
      continue;
    }
    auto [cp, length] = DecodeUtf8(utf8, i);
    i += length;
    std::uint16_t code = cp != 0 ? tables.Code(cp) : 0;
    if (code == 0) {
      *put++ = '?';
    } else if (code < 0x100) {
      *put++ = static_cast<char>(code);
    } else {
      *put++ = static_cast<char>(code >> 8);
      *put++ = static_cast<char>(code & 0xFF);
    }
  }
  out.resize(static_cast<std::size_t>(put - out.data()));
  return out;
}

bool IsValidGbk(std::string_view gbk) {
  const GbkTables& tables = Tables();
  for (std::size_t i = 0; i < gbk.size();) {
    const unsigned char b = static_cast<unsigned char>(gbk[i]);
    if (b < 0x80) {
      ++i;
    } else if (i + 1 < gbk.size() && tables.Pair(b, static_cast<unsigned char>(gbk[i + 1]))) {
      i += 2;
    } else if (tables.Single(b) != 0) {
      ++i;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace pelvar::text
