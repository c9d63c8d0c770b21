#include "app-win32/PelvarMain.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>

#include "app-win32/Pictures.h"
#include "config/GeneralError.h"
#include "console/Guards.h"
#include "platform/WindowsText.h"
#include "text/Error.h"
#include "text/Regional.h"

namespace pelvar::win32 {

using platform::windows_text::Narrow;
using platform::windows_text::Widen;

namespace {

constexpr wchar_t kClassName[] = L"TfrmPelvarMain";
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kBlack = RGB(0x00, 0x00, 0x00);
constexpr COLORREF kBlue = RGB(0x00, 0x00, 0xFF);
constexpr COLORREF kNavy = RGB(0x00, 0x00, 0x80);
constexpr COLORREF kGreen = RGB(0x00, 0x80, 0x00);
constexpr wchar_t kLightHint[] = L"灰色表示尚未进行连接，红色表示连接失败，绿色表示连接成功";

// Command identifiers of the buttons and of the tray menu's items.
enum CommandId : int {
  kBtnSet = 101,
  kBtnRun,
  kBtnStop,
  kBtnExit,
  kPopMenuStar = 201,
  kPopMenuStop,
  kPopMenuSet,
  kPopMenuShow,
  kPopMenuExit,
};

// "宋体" where the machine has it, else the first of its stand-ins that
// carries Chinese glyphs.
const wchar_t* FontFace() {
  static const wchar_t* face = [] {
    const wchar_t* candidates[] = {L"宋体", L"SimSun", L"NSimSun", L"WenQuanYi Micro Hei",
                                   L"Noto Sans CJK SC"};
    HDC dc = ::GetDC(nullptr);
    const wchar_t* found = candidates[0];
    for (const wchar_t* candidate : candidates) {
      LOGFONTW query{};
      query.lfCharSet = DEFAULT_CHARSET;
      wcsncpy(query.lfFaceName, candidate, LF_FACESIZE - 1);
      bool present = false;
      ::EnumFontFamiliesExW(
          dc, &query,
          [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM flag) -> int {
            *reinterpret_cast<bool*>(flag) = true;
            return 0;
          },
          reinterpret_cast<LPARAM>(&present), 0);
      if (present) {
        found = candidate;
        break;
      }
    }
    ::ReleaseDC(nullptr, dc);
    return found;
  }();
  return face;
}

int DpiOf(HWND window) {
  using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
  static auto getDpiForWindow = reinterpret_cast<GetDpiForWindowProc>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (window != nullptr && getDpiForWindow != nullptr) {
    UINT dpi = getDpiForWindow(window);
    if (dpi != 0)
      return static_cast<int>(dpi);
  }
  HDC dc = ::GetDC(nullptr);
  int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
  ::ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

void DeleteAll(std::initializer_list<HGDIOBJ> objects) {
  for (HGDIOBJ object : objects) {
    if (object != nullptr)
      ::DeleteObject(object);
  }
}

void DestroyAll(std::initializer_list<HICON> icons) {
  for (HICON icon : icons) {
    if (icon != nullptr)
      ::DestroyIcon(icon);
  }
}

HFONT FontOf(HWND control) {
  return reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
}

// The extent of a control's text in its font, as an autosized label has.
SIZE TextSize(HWND control) {
  int length = ::GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  ::GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  HDC dc = ::GetDC(control);
  HGDIOBJ previous = ::SelectObject(dc, FontOf(control));
  SIZE size{0, 0};
  ::GetTextExtentPoint32W(dc, text.c_str(), length, &size);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  size.cy = metrics.tmHeight;
  ::SelectObject(dc, previous);
  ::ReleaseDC(control, dc);
  return size;
}

int FontHeight(HFONT font) {
  HDC dc = ::GetDC(nullptr);
  HGDIOBJ previous = ::SelectObject(dc, font);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  ::SelectObject(dc, previous);
  ::ReleaseDC(nullptr, dc);
  return metrics.tmHeight;
}

void Place(HWND control, int x, int y, int width, int height) {
  ::SetWindowPos(control, nullptr, x, y, std::max(0, width), std::max(0, height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetIcon(HWND control, HICON icon) {
  ::SendMessageW(control, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
}

// The record that names the one tray icon: the window and the number 0.
NOTIFYICONDATAW TrayRecord(HWND window, UINT flags) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = 0;
  data.uFlags = flags;
  return data;
}

// Copies text into a fixed field, cut to leave room for the ending zero.
template <size_t N>
void CopyField(wchar_t (&field)[N], const std::string& text) {
  std::wstring wide = Widen(text).substr(0, N - 1);
  std::copy(wide.begin(), wide.end(), field);
  field[wide.size()] = L'\0';
}

void SetButtonIcon(HWND button, HICON icon) {
  ::SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
}

}  // namespace

// The controls by their names, with what they are drawn with. Panel2 (the
// white heading area), Panel1 (the button row) and its right-aligned
// sub-panel Panel3 are areas of the window's own client area.
struct TfrmPelvarMain::Controls {
  // Panel2
  HWND Label3 = nullptr;
  HWND Label4 = nullptr;
  HWND Label2 = nullptr;
  HWND imgOk = nullptr;
  // GroupBox1
  HWND GroupBox1 = nullptr;
  HWND memoLog = nullptr;
  // GroupBox3
  HWND GroupBox3 = nullptr;
  HWND Label1 = nullptr;
  HWND igDbStatus = nullptr;
  HWND Label6 = nullptr;
  HWND igConnectStatus = nullptr;
  HWND igGray = nullptr;
  HWND igGreen = nullptr;
  HWND igRed = nullptr;
  HWND leSendCountLabel = nullptr;
  HWND leSendCount = nullptr;
  HWND leWtRemainTimeLabel = nullptr;
  HWND leWtRemainTime = nullptr;
  // Panel1, Panel3
  HWND btnSet = nullptr;
  HWND btnRun = nullptr;
  HWND btnStop = nullptr;
  HWND btnExit = nullptr;
  // The hints of btnSet and the lights.
  HWND hints = nullptr;

  HFONT baseFont = nullptr;
  HFONT headingFont = nullptr;
  HFONT headerFont = nullptr;
  HFONT counterFont = nullptr;
  HICON grayLamp = nullptr;
  HICON greenLamp = nullptr;
  HICON redLamp = nullptr;
  HICON decoration = nullptr;
  HICON setPicture = nullptr;
  HICON runPicture = nullptr;
  HICON stopPicture = nullptr;
  HICON stopGreyedPicture = nullptr;
  HICON exitPicture = nullptr;
  HICON smallIcon = nullptr;
  HICON largeIcon = nullptr;
  HBRUSH white = ::CreateSolidBrush(kWhite);

  ~Controls() {
    DeleteAll({baseFont, headingFont, headerFont, counterFont, white});
    DestroyAll({grayLamp, greenLamp, redLamp, decoration, setPicture, runPicture, stopPicture,
                stopGreyedPicture, exitPicture, smallIcon, largeIcon});
  }
};

TfrmPelvarMain::TfrmPelvarMain(platform::MessageBoxes& boxes, console::InputBoxes& inputBoxes)
    : boxes_(boxes),
      inputBoxes_(inputBoxes),
      controls_(std::make_unique<Controls>()),
      trayTip_(config::kApplicationTitle) {
  INITCOMMONCONTROLSEX common{sizeof(common), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&common);
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &TfrmPelvarMain::WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  ::RegisterClassExW(&windowClass);  // fails harmlessly when registered already

  taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
  dpi_ = DpiOf(nullptr);
  // The caption stored with the layout; FormCreate sets the real one.
  window_ = ::CreateWindowExW(0, kClassName, L"客户端程序", WS_OVERLAPPEDWINDOW, Scale(512),
                              Scale(15), Scale(638), Scale(448), nullptr, nullptr, instance, this);
  if (window_ == nullptr)
    throw Error("The main window cannot be created: " +
                platform::windows_text::SystemErrorText(::GetLastError()));
  int windowDpi = DpiOf(window_);
  if (windowDpi != dpi_) {
    dpi_ = windowDpi;
    ::SetWindowPos(window_, nullptr, Scale(512), Scale(15), Scale(638), Scale(448),
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }

  popupMenu_ = ::CreatePopupMenu();
  ::AppendMenuW(popupMenu_, MF_STRING, kPopMenuStar, L"执行");
  ::AppendMenuW(popupMenu_, MF_STRING | MF_GRAYED, kPopMenuStop, L"停止");
  ::AppendMenuW(popupMenu_, MF_SEPARATOR, 0, nullptr);  // N3
  ::AppendMenuW(popupMenu_, MF_STRING, kPopMenuSet, L"设置");
  ::AppendMenuW(popupMenu_, MF_STRING, kPopMenuShow, L"打开");
  ::AppendMenuW(popupMenu_, MF_STRING, kPopMenuExit, L"退出");

  timer1_.onError = [this](const std::exception& error) { ShowError(error); };

  CreateControls();
  MakeLook();
  SetLight(upload::Light::kRelayDatabase, upload::LightColour::kGray);
  SetLight(upload::Light::kConnection, upload::LightColour::kGray);
  SetRemainingTimeVisible(false);
  Layout();
}

TfrmPelvarMain::~TfrmPelvarMain() {
  if (window_ != nullptr)
    ::DestroyWindow(window_);
  if (popupMenu_ != nullptr)
    ::DestroyMenu(popupMenu_);
}

int TfrmPelvarMain::Scale(int pixels) const {
  return ::MulDiv(pixels, dpi_, 96);
}

void TfrmPelvarMain::CreateControls() {
  Controls& c = *controls_;
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  auto make = [&](const char* name, const wchar_t* windowClass, const wchar_t* text, DWORD style,
                  int id = 0, DWORD exStyle = 0) {
    HWND control =
        ::CreateWindowExW(exStyle, windowClass, text, WS_CHILD | style, 0, 0, 0, 0, window_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    byName_[name] = control;
    return control;
  };
  constexpr DWORD kLabel = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
  constexpr DWORD kLamp = SS_ICON | SS_NOTIFY;
  constexpr DWORD kField = WS_VISIBLE | ES_LEFT | ES_READONLY | ES_AUTOHSCROLL;
  constexpr DWORD kButton = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;

  // Made first, so they lie above the group boxes made last.
  c.Label3 = make("Label3", L"STATIC", L"客户端程序", kLabel);
  c.Label4 = make("Label4", L"STATIC", L"每隔一定时间扫描数据库,将未发送记录发送到服务端", kLabel);
  c.Label2 = make("Label2", L"STATIC", L"", kLabel);
  c.imgOk = make("imgOk", L"STATIC", L"", WS_VISIBLE | SS_ICON | SS_CENTERIMAGE);
  c.memoLog = make("memoLog", L"EDIT", L"",
                   WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                       ES_AUTOVSCROLL | ES_NOHIDESEL,
                   0, WS_EX_CLIENTEDGE);
  // Made without WS_HSCROLL, which would turn off the wrapping; the bar is
  // shown all the same, with nothing to scroll.
  ::ShowScrollBar(c.memoLog, SB_HORZ, TRUE);
  ::EnableScrollBar(c.memoLog, SB_HORZ, ESB_DISABLE_BOTH);
  ::SendMessageW(c.memoLog, EM_SETLIMITTEXT, 0, 0);
  c.Label1 = make("Label1", L"STATIC", L"数据库连接状态", kLabel);
  c.igDbStatus = make("igDbStatus", L"STATIC", L"", WS_VISIBLE | kLamp);
  c.Label6 = make("Label6", L"STATIC", L"通讯服务器连接状态", kLabel);
  c.igConnectStatus = make("igConnectStatus", L"STATIC", L"", WS_VISIBLE | kLamp);
  c.igGray = make("igGray", L"STATIC", L"", kLamp);
  c.igGreen = make("igGreen", L"STATIC", L"", kLamp);
  c.igRed = make("igRed", L"STATIC", L"", kLamp);
  c.leSendCountLabel = make("leSendCountLabel", L"STATIC", L"已发送记录数 ", kLabel);
  c.leSendCount = make("leSendCount", L"EDIT", L"0", kField);
  c.leWtRemainTimeLabel = make("leWtRemainTimeLabel", L"STATIC", L"剩余时间 ", kLabel);
  c.leWtRemainTime = make("leWtRemainTime", L"EDIT", L"", kField);
  c.btnSet = make("btnSet", L"BUTTON", L"设置(&S)", kButton, kBtnSet);
  c.btnRun = make("btnRun", L"BUTTON", L"执行(&R)", kButton, kBtnRun);
  c.btnStop = make("btnStop", L"BUTTON", L"停止", kButton | WS_DISABLED, kBtnStop);
  c.btnExit = make("btnExit", L"BUTTON", L"退出(&X)", kButton, kBtnExit);
  c.GroupBox1 =
      make("GroupBox1", L"BUTTON", L"系统日志", WS_VISIBLE | WS_CLIPSIBLINGS | BS_GROUPBOX);
  c.GroupBox3 =
      make("GroupBox3", L"BUTTON", L"当前状态", WS_VISIBLE | WS_CLIPSIBLINGS | BS_GROUPBOX);

  c.hints = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                              WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance, nullptr);
  auto hint = [&](HWND control, const wchar_t* text) {
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<wchar_t*>(text);
    ::SendMessageW(c.hints, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  };
  hint(c.btnSet, L"进行源和目的数据库的设置及要迁移数据及迁移方式的设置");
  hint(c.igDbStatus, kLightHint);
  hint(c.igConnectStatus, kLightHint);
}

void TfrmPelvarMain::MakeLook() {
  Controls& c = *controls_;
  auto font = [&](int pixels, bool bold) {
    return ::CreateFontW(-Scale(pixels), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                         DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, FontFace());
  };
  Controls old;
  std::swap(old.baseFont, c.baseFont);
  std::swap(old.headingFont, c.headingFont);
  std::swap(old.headerFont, c.headerFont);
  std::swap(old.counterFont, c.counterFont);
  std::swap(old.grayLamp, c.grayLamp);
  std::swap(old.greenLamp, c.greenLamp);
  std::swap(old.redLamp, c.redLamp);
  std::swap(old.decoration, c.decoration);
  std::swap(old.setPicture, c.setPicture);
  std::swap(old.runPicture, c.runPicture);
  std::swap(old.stopPicture, c.stopPicture);
  std::swap(old.stopGreyedPicture, c.stopGreyedPicture);
  std::swap(old.exitPicture, c.exitPicture);
  std::swap(old.smallIcon, c.smallIcon);
  std::swap(old.largeIcon, c.largeIcon);

  c.baseFont = font(12, false);
  c.headingFont = font(14, true);
  c.headerFont = font(16, false);
  c.counterFont = font(14, true);
  for (const auto& [name, control] : byName_)
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(c.baseFont), FALSE);
  ::SendMessageW(c.Label3, WM_SETFONT, reinterpret_cast<WPARAM>(c.headingFont), FALSE);
  ::SendMessageW(c.Label2, WM_SETFONT, reinterpret_cast<WPARAM>(c.headerFont), FALSE);
  for (HWND field : {c.leSendCount, c.leWtRemainTime})
    ::SendMessageW(field, WM_SETFONT, reinterpret_cast<WPARAM>(c.counterFont), FALSE);

  const int lamp = Scale(20), button = Scale(16);
  c.grayLamp = LampIcon(kGrayLamp, lamp);
  c.greenLamp = LampIcon(kGreenLamp, lamp);
  c.redLamp = LampIcon(kRedLamp, lamp);
  SetIcon(c.igGray, c.grayLamp);
  SetIcon(c.igGreen, c.greenLamp);
  SetIcon(c.igRed, c.redLamp);
  SetLight(upload::Light::kRelayDatabase, lights_[0]);
  SetLight(upload::Light::kConnection, lights_[1]);
  c.decoration = DecorationIcon(Scale(32));
  SetIcon(c.imgOk, c.decoration);
  c.setPicture = SettingsButtonIcon(button);
  c.runPicture = RunButtonIcon(button);
  c.stopPicture = StopButtonIcon(button, false);
  c.stopGreyedPicture = StopButtonIcon(button, true);
  c.exitPicture = ExitButtonIcon(button);
  SetButtonIcon(c.btnSet, c.setPicture);
  SetButtonIcon(c.btnRun, c.runPicture);
  SetButtonIcon(c.btnStop, IsRunning() ? c.stopPicture : c.stopGreyedPicture);
  SetButtonIcon(c.btnExit, c.exitPicture);

  c.smallIcon = ProgramIcon(::GetSystemMetrics(SM_CXSMICON));
  c.largeIcon = ProgramIcon(::GetSystemMetrics(SM_CXICON));
  ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(c.smallIcon));
  ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(c.largeIcon));
  if (trayAdded_) {
    NOTIFYICONDATAW data = TrayRecord(window_, NIF_ICON);
    data.hIcon = c.smallIcon;
    ::Shell_NotifyIconW(NIM_MODIFY, &data);
  }
  ::InvalidateRect(window_, nullptr, TRUE);
}

void TfrmPelvarMain::Layout() {
  Controls& c = *controls_;
  RECT client{};
  ::GetClientRect(window_, &client);
  const int width = client.right, height = client.bottom;
  auto label = [](HWND control, int x, int y) {
    SIZE size = TextSize(control);
    Place(control, x, y, size.cx, size.cy);
  };

  // Panel2: 59 high along the top, imgOk (62 x 59) at its right edge.
  label(c.Label3, Scale(8), Scale(4));
  label(c.Label4, Scale(64), Scale(21));
  Place(c.Label2, Scale(104), Scale(40), Scale(450), FontHeight(c.headerFont));
  Place(c.imgOk, width - Scale(62), 0, Scale(62), Scale(59));

  // Panel1 (41 high) along the bottom, GroupBox3 (49 high) above it,
  // GroupBox1 with memoLog filling what is left between.
  const int panel1 = height - Scale(41);
  const int group3 = panel1 - Scale(49);
  const int group1 = Scale(59);
  Place(c.GroupBox1, 0, group1, width, group3 - group1);
  const int caption = FontHeight(c.baseFont);
  Place(c.memoLog, Scale(2), group1 + caption + Scale(1), width - Scale(4),
        group3 - group1 - caption - Scale(3));

  Place(c.GroupBox3, 0, group3, width, Scale(49));
  label(c.Label1, Scale(19), group3 + Scale(22));
  Place(c.igDbStatus, Scale(108), group3 + Scale(17), Scale(20), Scale(20));
  label(c.Label6, Scale(139), group3 + Scale(22));
  Place(c.igConnectStatus, Scale(253), group3 + Scale(17), Scale(20), Scale(20));
  Place(c.igGray, Scale(290), group3 + Scale(15), Scale(20), Scale(20));
  Place(c.igGreen, Scale(322), group3 + Scale(15), Scale(20), Scale(20));
  Place(c.igRed, Scale(352), group3 + Scale(15), Scale(20), Scale(20));
  // A caption label sits 3 pixels left of its field, centred on its height.
  auto field = [&](HWND edit, HWND caption, int x, int fieldWidth) {
    const int y = group3 + Scale(19), fieldHeight = Scale(21);
    Place(edit, Scale(x), y, Scale(fieldWidth), fieldHeight);
    SIZE size = TextSize(caption);
    Place(caption, Scale(x) - Scale(3) - size.cx, y + (fieldHeight - size.cy) / 2, size.cx,
          size.cy);
  };
  field(c.leSendCount, c.leSendCountLabel, 430, 55);
  field(c.leWtRemainTime, c.leWtRemainTimeLabel, 568, 27);

  Place(c.btnSet, Scale(5), panel1 + Scale(8), Scale(75), Scale(25));
  Place(c.btnRun, Scale(104), panel1 + Scale(8), Scale(75), Scale(25));
  Place(c.btnStop, Scale(203), panel1 + Scale(8), Scale(75), Scale(25));
  // Panel3: 185 wide at the right edge of Panel1.
  Place(c.btnExit, width - Scale(185) + Scale(99), panel1 + Scale(8), Scale(75), Scale(25));
  ::InvalidateRect(window_, nullptr, TRUE);
}

HWND TfrmPelvarMain::Control(const std::string& name) const {
  auto found = byName_.find(name);
  return found == byName_.end() ? nullptr : found->second;
}

std::wstring TfrmPelvarMain::TextOf(HWND control) const {
  int length = ::GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int copied = ::GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(0, copied)));
  return text;
}

template <typename Handler>
void TfrmPelvarMain::Guarded(Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowError(error);
  }
}

void TfrmPelvarMain::ShowError(const std::exception& error) {
  config::ShowGeneralError(boxes_, error.what());
}

void TfrmPelvarMain::FormCreate(const std::function<bool()>& readAutoSendFlag) {
  Guarded([&] {
    ::SetWindowTextW(window_, Widen(config::kApplicationTitle).c_str());
    ManageTrayIcon(true);
    SetRunning(false);
    if (readAutoSendFlag && readAutoSendFlag() && onRun)
      onRun();
  });
}

void TfrmPelvarMain::ManageTrayIcon(bool add) {
  NOTIFYICONDATAW data = TrayRecord(window_, NIF_MESSAGE | NIF_ICON | NIF_TIP);
  data.uCallbackMessage = kTrayMessage;
  data.hIcon = controls_->smallIcon;
  CopyField(data.szTip, trayTip_);
  ::Shell_NotifyIconW(add ? NIM_ADD : NIM_DELETE, &data);
  trayAdded_ = add;
}

void TfrmPelvarMain::UpdateTrayTip() {
  trayTip_ = alerts_.Tooltip(config::kApplicationTitle, IsRunning());
  if (!trayAdded_)
    return;
  NOTIFYICONDATAW data = TrayRecord(window_, NIF_TIP);
  CopyField(data.szTip, trayTip_);
  ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TfrmPelvarMain::CycleFinished(const upload::CycleOutcome& outcome) {
  std::optional<std::string> balloon = alerts_.Observe(outcome);
  UpdateTrayTip();
  if (!balloon || (notifyEnabled && !notifyEnabled()) || !trayAdded_)
    return;
  NOTIFYICONDATAW data = TrayRecord(window_, NIF_INFO);
  data.dwInfoFlags = NIIF_WARNING;
  CopyField(data.szInfoTitle, config::kApplicationTitle);
  CopyField(data.szInfo, *balloon);
  ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

bool TfrmPelvarMain::IsRunning() const {
  return ::IsWindowEnabled(controls_->btnStop) != FALSE;
}

void TfrmPelvarMain::SetRunning(bool running) {
  Controls& c = *controls_;
  ::EnableWindow(c.btnStop, running ? TRUE : FALSE);
  ::EnableWindow(c.btnRun, running ? FALSE : TRUE);
  ::EnableMenuItem(popupMenu_, kPopMenuStop, MF_BYCOMMAND | (running ? MF_ENABLED : MF_GRAYED));
  ::EnableMenuItem(popupMenu_, kPopMenuStar, MF_BYCOMMAND | (running ? MF_GRAYED : MF_ENABLED));
  SetButtonIcon(c.btnStop, running ? c.stopPicture : c.stopGreyedPicture);
  UpdateTrayTip();
}

void TfrmPelvarMain::btnSetClick() {
  Guarded([&] {
    if (console::SettingsGuard(IsRunning(), boxes_, inputBoxes_) && onShowSettings)
      onShowSettings();
  });
}

void TfrmPelvarMain::btnRunClick() {
  Guarded([&] {
    if (onRun)
      onRun();
  });
}

void TfrmPelvarMain::btnStopClick() {
  Guarded([&] {
    if (onStop)
      onStop();
  });
}

void TfrmPelvarMain::btnExitClick() {
  Guarded([&] {
    if (!onExitAllowed || onExitAllowed())
      Close();
  });
}

void TfrmPelvarMain::popMenuShowClick() {
  ::ShowWindow(window_, SW_SHOW);
}

bool TfrmPelvarMain::FormCloseQuery() {
  return console::CloseCheck(inputBoxes_);
}

bool TfrmPelvarMain::Close() {
  bool allowed = false;
  Guarded([&] { allowed = FormCloseQuery(); });
  if (!allowed)
    return false;
  ::ShowWindow(window_, SW_HIDE);
  if (onClosed)
    onClosed();
  return true;
}

void TfrmPelvarMain::HideToTray() {
  ManageTrayIcon(true);
  ::ShowWindow(window_, SW_HIDE);
}

void TfrmPelvarMain::OnCommand(int id) {
  switch (id) {
    case kBtnSet:
    case kPopMenuSet:
      btnSetClick();
      break;
    case kBtnRun:
    case kPopMenuStar:
      btnRunClick();
      break;
    case kBtnStop:
    case kPopMenuStop:
      btnStopClick();
      break;
    case kBtnExit:
    case kPopMenuExit:
      btnExitClick();
      break;
    case kPopMenuShow:
      popMenuShowClick();
      break;
    default:
      break;
  }
}

void TfrmPelvarMain::OnTrayMessage(LPARAM lParam) {
  switch (LOWORD(lParam)) {
    case WM_LBUTTONDOWN:
      popMenuShowClick();
      break;
    case WM_RBUTTONDOWN: {
      ::SetForegroundWindow(window_);
      POINT cursor{};
      ::GetCursorPos(&cursor);
      ::TrackPopupMenu(popupMenu_, TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window_,
                       nullptr);
      // Lets the menu close when the operator clicks elsewhere next time.
      ::PostMessageW(window_, WM_NULL, 0, 0);
      break;
    }
    default:
      break;
  }
}

LRESULT CALLBACK TfrmPelvarMain::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TfrmPelvarMain*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr || self->controls_->btnExit == nullptr)
    return ::DefWindowProcW(window, message, wParam, lParam);
  return self->OnMessage(message, wParam, lParam);
}

LRESULT TfrmPelvarMain::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  Controls& c = *controls_;
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    // The shell started again and forgot the icon.
    if (trayAdded_)
      ManageTrayIcon(true);
    return 0;
  }
  switch (message) {
    case kTrayMessage:
      OnTrayMessage(lParam);
      return 0;
    case WM_COMMAND:
      if (lParam == 0 ? HIWORD(wParam) == 0 : HIWORD(wParam) == BN_CLICKED)
        OnCommand(LOWORD(wParam));
      return 0;
    case WM_SYSCOMMAND:
      // Minimising only hides the window; it lives on in the tray.
      if (wParam == SC_MINIMIZE) {
        HideToTray();
        return 0;
      }
      break;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_QUERYENDSESSION: {
      bool allowed = false;
      Guarded([&] { allowed = FormCloseQuery(); });
      return allowed ? TRUE : FALSE;
    }
    case WM_ENDSESSION:
      if (wParam != FALSE) {
        ManageTrayIcon(false);
        if (onClosed)
          onClosed();
      }
      return 0;
    case WM_CTLCOLORSTATIC: {
      auto dc = reinterpret_cast<HDC>(wParam);
      auto control = reinterpret_cast<HWND>(lParam);
      if (control == c.Label3 || control == c.Label4 || control == c.Label2 || control == c.imgOk) {
        ::SetTextColor(dc, control == c.Label2 ? kBlue : kBlack);
        ::SetBkColor(dc, kWhite);
        return reinterpret_cast<LRESULT>(c.white);
      }
      if (control == c.memoLog) {
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
      }
      if (control == c.leSendCount || control == c.leWtRemainTime || control == c.Label1 ||
          control == c.Label6) {
        COLORREF text = control == c.leSendCount      ? kNavy
                        : control == c.leWtRemainTime ? kGreen
                                                      : kBlack;
        ::SetTextColor(dc, text);
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window_, &paint);
      RECT client{};
      ::GetClientRect(window_, &client);
      RECT panel2{0, 0, client.right, Scale(59)};
      ::FillRect(dc, &panel2, c.white);
      ::EndPaint(window_, &paint);
      return 0;
    }
    case WM_SIZE:
      Layout();
      return 0;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wParam);
      MakeLook();
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      ::SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    case WM_DESTROY:
      // FormDestroy.
      ManageTrayIcon(false);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window_, message, wParam, lParam);
}

void TfrmPelvarMain::AppendLogLine(const std::string& text) {
  // Every line ends with a break; the edit control breaks lines only at
  // CR LF, so a text's own breaks of any form become that.
  std::wstring wide = Widen(text);
  std::wstring line;
  line.reserve(wide.size() + 2);
  for (size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] == L'\r' || wide[i] == L'\n') {
      if (wide[i] == L'\r' && i + 1 < wide.size() && wide[i + 1] == L'\n')
        ++i;
      line += L"\r\n";
    } else if (wide[i] != L'\0') {
      line += wide[i];
    }
  }
  line += L"\r\n";
  HWND memo = controls_->memoLog;
  const int length = ::GetWindowTextLengthW(memo);
  ::SendMessageW(memo, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
  ::SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
}

void TfrmPelvarMain::ClearLog() {
  ::SetWindowTextW(controls_->memoLog, L"");
}

int TfrmPelvarMain::LogLineCount() {
  // The edit control counts displayed rows, wrapped ones included, and the
  // empty row after the text's last break, which is not a line.
  HWND memo = controls_->memoLog;
  if (::GetWindowTextLengthW(memo) == 0)
    return 0;
  return static_cast<int>(::SendMessageW(memo, EM_GETLINECOUNT, 0, 0)) - 1;
}

void TfrmPelvarMain::SetLight(upload::Light light, upload::LightColour colour) {
  Controls& c = *controls_;
  const bool relay = light == upload::Light::kRelayDatabase;
  lights_[relay ? 0 : 1] = colour;
  HWND holder = c.igGray;
  if (colour == upload::LightColour::kGreen)
    holder = c.igGreen;
  if (colour == upload::LightColour::kRed)
    holder = c.igRed;
  auto picture = reinterpret_cast<HICON>(::SendMessageW(holder, STM_GETIMAGE, IMAGE_ICON, 0));
  SetIcon(relay ? c.igDbStatus : c.igConnectStatus, picture);
}

void TfrmPelvarMain::RaiseSentCounter() {
  // The field's text is the counter's only store.
  HWND field = controls_->leSendCount;
  std::int64_t count = text::ParseInteger(Narrow(TextOf(field)));
  ::SetWindowTextW(field, std::to_wstring(count + 1).c_str());
}

void TfrmPelvarMain::ShowRemainingTime(int seconds) {
  ::SetWindowTextW(controls_->leWtRemainTime, std::to_wstring(seconds).c_str());
}

void TfrmPelvarMain::SetRemainingTimeVisible(bool visible) {
  ::ShowWindow(controls_->leWtRemainTime, visible ? SW_SHOWNA : SW_HIDE);
  ::ShowWindow(controls_->leWtRemainTimeLabel, visible ? SW_SHOWNA : SW_HIDE);
}

void TfrmPelvarMain::SetHeaderLabel(const std::string& text) {
  ::SetWindowTextW(controls_->Label2, Widen(text).c_str());
}

}  // namespace pelvar::win32
