#include "app-win32/Pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace pelvar::win32 {
namespace {

// Paints on a size x size canvas filled with kLampBackground; GDI draws
// without antialiasing, so every pixel still of that colour afterwards is
// background and becomes transparent.
using Painter = std::function<void(HDC dc, double scale)>;

HICON DrawnIcon(int size, double designSize, const Painter& paint) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = ::GetDC(nullptr);
  HBITMAP colour = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = ::CreateCompatibleDC(screen);
  ::ReleaseDC(nullptr, screen);
  if (colour == nullptr || dc == nullptr) {
    if (colour != nullptr)
      ::DeleteObject(colour);
    if (dc != nullptr)
      ::DeleteDC(dc);
    return nullptr;
  }
  HGDIOBJ previous = ::SelectObject(dc, colour);
  RECT all{0, 0, size, size};
  HBRUSH background = ::CreateSolidBrush(kLampBackground);
  ::FillRect(dc, &all, background);
  ::DeleteObject(background);
  paint(dc, size / designSize);
  ::GdiFlush();
  ::SelectObject(dc, previous);
  ::DeleteDC(dc);

  // DIB pixels are 0x00RRGGBB; the background key in that form.
  const std::uint32_t key = (GetRValue(kLampBackground) << 16) | (GetGValue(kLampBackground) << 8) |
                            GetBValue(kLampBackground);
  auto* pixel = static_cast<std::uint32_t*>(bits);
  const int rowBytes = ((size + 15) / 16) * 2;  // monochrome rows are word aligned
  std::vector<unsigned char> mask(static_cast<size_t>(rowBytes * size), 0);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      std::uint32_t& p = pixel[y * size + x];
      if ((p & 0x00FFFFFF) == key) {
        p = 0;
        mask[static_cast<size_t>(y * rowBytes + x / 8)] |=
            static_cast<unsigned char>(0x80 >> (x % 8));
      } else {
        p |= 0xFF000000;
      }
    }
  }
  HBITMAP maskBitmap = ::CreateBitmap(size, size, 1, 1, mask.data());
  ICONINFO icon{};
  icon.fIcon = TRUE;
  icon.hbmColor = colour;
  icon.hbmMask = maskBitmap;
  HICON result = ::CreateIconIndirect(&icon);
  ::DeleteObject(maskBitmap);
  ::DeleteObject(colour);
  return result;
}

int At(double value, double scale) {
  return static_cast<int>(std::lround(value * scale));
}

COLORREF Mix(COLORREF from, COLORREF to, double t) {
  auto channel = [t](int a, int b) {
    return static_cast<BYTE>(std::clamp(static_cast<int>(std::lround(a + (b - a) * t)), 0, 255));
  };
  return RGB(channel(GetRValue(from), GetRValue(to)), channel(GetGValue(from), GetGValue(to)),
             channel(GetBValue(from), GetBValue(to)));
}

COLORREF Darker(COLORREF colour, double factor) {
  return RGB(static_cast<BYTE>(GetRValue(colour) / factor),
             static_cast<BYTE>(GetGValue(colour) / factor),
             static_cast<BYTE>(GetBValue(colour) / factor));
}

// A pen and brush selected for one shape; a null brush or pen draws none.
class Tools {
 public:
  Tools(HDC dc, HPEN pen, HBRUSH brush)
      : dc_(dc),
        pen_(pen),
        brush_(brush),
        oldPen_(::SelectObject(
            dc, pen != nullptr ? static_cast<HGDIOBJ>(pen) : ::GetStockObject(NULL_PEN))),
        oldBrush_(::SelectObject(
            dc, brush != nullptr ? static_cast<HGDIOBJ>(brush) : ::GetStockObject(NULL_BRUSH))) {}
  ~Tools() {
    ::SelectObject(dc_, oldPen_);
    ::SelectObject(dc_, oldBrush_);
    if (pen_ != nullptr)
      ::DeleteObject(pen_);
    if (brush_ != nullptr)
      ::DeleteObject(brush_);
  }
  Tools(const Tools&) = delete;
  Tools& operator=(const Tools&) = delete;

 private:
  HDC dc_;
  HPEN pen_;
  HBRUSH brush_;
  HGDIOBJ oldPen_;
  HGDIOBJ oldBrush_;
};

HPEN Pen(COLORREF colour, double width, double scale) {
  LOGBRUSH brush{BS_SOLID, colour, 0};
  return ::ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND,
                        std::max(1, At(width, scale)), &brush, 0, nullptr);
}

void Polygon(HDC dc, std::initializer_list<POINT> points) {
  ::Polygon(dc, points.begin(), static_cast<int>(points.size()));
}

}  // namespace

HICON LampIcon(COLORREF colour, int size) {
  return DrawnIcon(size, 20.0, [colour](HDC dc, double s) {
    // A radial gradient, light at the upper left, as rings clipped to the
    // lamp's glass, then its rim.
    const int left = At(2, s), right = At(17, s) + 1;
    HRGN glass = ::CreateEllipticRgn(left, left, right, right);
    ::SelectClipRgn(dc, glass);
    const COLORREF centre = Mix(colour, RGB(255, 255, 255), 0.55);
    const COLORREF edge = Darker(colour, 1.5);
    const double radius = 9.0 * s;
    const double cx = 7.5 * s, cy = 7.5 * s;
    const int rings = std::max(8, static_cast<int>(radius * 2));
    for (int i = rings; i >= 1; --i) {
      double t = static_cast<double>(i) / rings;
      COLORREF ring = t < 0.6 ? Mix(centre, colour, t / 0.6) : Mix(colour, edge, (t - 0.6) / 0.4);
      double r = radius * t;
      Tools tools(dc, nullptr, ::CreateSolidBrush(ring));
      ::Ellipse(dc, static_cast<int>(std::lround(cx - r)), static_cast<int>(std::lround(cy - r)),
                static_cast<int>(std::lround(cx + r)) + 1,
                static_cast<int>(std::lround(cy + r)) + 1);
    }
    ::SelectClipRgn(dc, nullptr);
    ::DeleteObject(glass);
    Tools rim(dc, ::CreatePen(PS_SOLID, std::max(1, At(1, s)), Darker(colour, 2.0)), nullptr);
    ::Ellipse(dc, left, left, right, right);
  });
}

HICON DecorationIcon(int size) {
  return DrawnIcon(size, 32.0, [](HDC dc, double s) {
    {
      Tools ring(dc, Pen(RGB(0x00, 0x80, 0x00), 2, s), ::CreateSolidBrush(RGB(0xE8, 0xF8, 0xE8)));
      ::Ellipse(dc, At(2, s), At(2, s), At(30, s), At(30, s));
    }
    Tools tick(dc, Pen(RGB(0x00, 0x90, 0x00), 4, s), nullptr);
    POINT points[] = {{At(9, s), At(16.5, s)}, {At(14, s), At(21.5, s)}, {At(23, s), At(11, s)}};
    ::Polyline(dc, points, 3);
  });
}

HICON SettingsButtonIcon(int size) {
  return DrawnIcon(size, 16.0, [](HDC dc, double s) {
    {
      Tools spokes(dc, Pen(RGB(0x50, 0x50, 0x50), 2.2, s), nullptr);
      for (int i = 0; i < 4; ++i) {
        double angle = 3.14159265358979 / 4 * i;
        double dx = std::sin(angle) * 6.5, dy = -std::cos(angle) * 6.5;
        ::MoveToEx(dc, At(8 + dx, s), At(8 + dy, s), nullptr);
        ::LineTo(dc, At(8 - dx, s), At(8 - dy, s));
      }
    }
    {
      Tools hub(dc, nullptr, ::CreateSolidBrush(RGB(0x70, 0x70, 0x70)));
      ::Ellipse(dc, At(3.5, s), At(3.5, s), At(12.5, s), At(12.5, s));
    }
    Tools hole(dc, nullptr, ::CreateSolidBrush(RGB(0xFF, 0xFF, 0xFF)));
    ::Ellipse(dc, At(6.2, s), At(6.2, s), At(9.8, s), At(9.8, s));
  });
}

HICON RunButtonIcon(int size) {
  return DrawnIcon(size, 16.0, [](HDC dc, double s) {
    Tools tools(dc, nullptr, ::CreateSolidBrush(RGB(0x00, 0x90, 0x00)));
    Polygon(dc, {{At(4, s), At(2, s)}, {At(14, s), At(8, s)}, {At(4, s), At(14, s)}});
  });
}

HICON StopButtonIcon(int size, bool greyed) {
  return DrawnIcon(size, 16.0, [greyed](HDC dc, double s) {
    COLORREF fill = greyed ? RGB(0xA0, 0xA0, 0xA0) : RGB(0xC8, 0x10, 0x10);
    Tools tools(dc, greyed ? ::CreatePen(PS_SOLID, 1, RGB(0xFF, 0xFF, 0xFF)) : nullptr,
                ::CreateSolidBrush(fill));
    ::Rectangle(dc, At(3, s), At(3, s), At(13, s), At(13, s));
  });
}

HICON ExitButtonIcon(int size) {
  return DrawnIcon(size, 16.0, [](HDC dc, double s) {
    {
      Tools door(dc, Pen(RGB(0x60, 0x40, 0x20), 1.2, s), ::CreateSolidBrush(RGB(0xC0, 0x90, 0x50)));
      ::Rectangle(dc, At(2.5, s), At(1.5, s), At(9.5, s), At(14.5, s));
    }
    Tools arrow(dc, Pen(RGB(0xB0, 0x00, 0x00), 2, s), nullptr);
    ::MoveToEx(dc, At(8, s), At(8, s), nullptr);
    ::LineTo(dc, At(14.5, s), At(8, s));
    ::MoveToEx(dc, At(12, s), At(5.5, s), nullptr);
    ::LineTo(dc, At(14.5, s), At(8, s));
    ::LineTo(dc, At(12, s), At(10.5, s));
  });
}

HICON ProgramIcon(int size) {
  auto* icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1),
                                               IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  return icon != nullptr ? icon : LampIcon(kGreenLamp, size);
}

}  // namespace pelvar::win32
