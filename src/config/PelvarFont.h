#pragma once

#include <QFont>
#include <QStringList>

namespace pelvar::config {

// The windows' base font "宋体" with fallbacks that carry Chinese glyphs
// where SimSun is not installed (on Linux WenQuanYi Micro Hei).
inline QStringList PelvarFontFamilies() {
  return {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
          QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")};
}

inline QFont PelvarFont() {
  QFont font;
  font.setFamilies(PelvarFontFamilies());
  return font;
}

}  // namespace pelvar::config
