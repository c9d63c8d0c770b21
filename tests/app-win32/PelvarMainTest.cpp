#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app-win32/MessagePump.h"
#include "app-win32/PelvarMain.h"
#include "app-win32/RunBinding.h"
#include "config/SettingsStore.h"
#include "platform/Paths.h"
#include "platform/WindowsText.h"
#include "relay/RelayConnection.h"
#include "support/LoopbackPorts.h"
#include "support/RecordingMessageBoxes.h"
#include "support/TempPrefix.h"
#include "upload/RunControl.h"
#include "upload/ServerLink.h"
#include "upload/SiteProfile.h"
#include "upload/UploadCycle.h"

namespace pelvar::win32 {
namespace {

using platform::windows_text::Narrow;

// Under Wine a window needs an X display, which scripts/wine-run passes on
// only when PELVAR_WINE_DISPLAY names one; Windows itself always has one.
bool HasDisplay() {
  if (::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr)
    return true;
  wchar_t value[64];
  return ::GetEnvironmentVariableW(L"PELVAR_WINE_DISPLAY", value, 64) > 0;
}

#define REQUIRE_DISPLAY()                                                                      \
  if (!HasDisplay())                                                                           \
  GTEST_SKIP() << "the window needs an X display under Wine: run with PELVAR_WINE_DISPLAY=:N " \
                  "(scripts/wine-run passes it on as DISPLAY)"

class AnsweringInputBoxes : public console::InputBoxes {
 public:
  std::string InputBox(const std::string&, const std::string& prompt) override {
    asked.push_back(prompt);
    return answer;
  }
  std::string answer;
  std::vector<std::string> asked;
};

struct Fixture {
  test::RecordingMessageBoxes boxes;
  AnsweringInputBoxes inputs;
  TfrmPelvarMain window{boxes, inputs};

  std::string Text(const char* name) {
    HWND control = window.Control(name);
    EXPECT_NE(control, nullptr) << name;
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(control, text.data(), text.size())));
    return Narrow(text);
  }
  bool Enabled(const char* name) { return ::IsWindowEnabled(window.Control(name)) != FALSE; }
  bool MenuEnabled(int position) {
    return (::GetMenuState(window.PopupMenu(), position, MF_BYPOSITION) & MF_GRAYED) == 0;
  }
  HANDLE Picture(const char* name) {
    return reinterpret_cast<HANDLE>(
        ::SendMessageW(window.Control(name), STM_GETIMAGE, IMAGE_ICON, 0));
  }
};

TEST(PelvarMainWin32, LogLineCountCountsDisplayedRowsAlsoWhileHidden) {
  REQUIRE_DISPLAY();
  Fixture f;
  TfrmPelvarMain& w = f.window;
  EXPECT_EQ(w.LogLineCount(), 0);
  w.AppendLogLine("");
  EXPECT_EQ(w.LogLineCount(), 1);
  // A text's own breaks of every form make lines of their own.
  w.AppendLogLine("a\r\nb\nc\rd");
  EXPECT_EQ(f.Text("memoLog"), "\r\na\r\nb\r\nc\r\nd\r\n");
  EXPECT_EQ(w.LogLineCount(), 5);

  // A line wider than the view counts once per row the view shows; its
  // glyphs are of one width, so the rows follow from the text's width.
  w.ClearLog();
  EXPECT_EQ(w.LogLineCount(), 0);
  std::wstring wide(150, L'上');
  HWND memo = w.Control("memoLog");
  RECT format{};
  ::SendMessageW(memo, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
  HDC dc = ::GetDC(memo);
  HGDIOBJ previous =
      ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(memo, WM_GETFONT, 0, 0)));
  SIZE glyph{};
  ::GetTextExtentPoint32W(dc, L"上", 1, &glyph);
  ::SelectObject(dc, previous);
  ::ReleaseDC(memo, dc);
  ASSERT_GT(glyph.cx, 0);
  const int perRow = (format.right - format.left) / glyph.cx;
  ASSERT_GT(perRow, 10);
  const int rows = (150 + perRow - 1) / perRow;
  ASSERT_GT(rows, 1);
  w.AppendLogLine(Narrow(wide));
  w.AppendLogLine("x");
  EXPECT_FALSE(::IsWindowVisible(w.Handle()));
  EXPECT_EQ(w.LogLineCount(), rows + 1);
}

// The upload cycle empties the log above 500 displayed lines; the window's
// count is what it goes by. The cycle here finds no relay database and no
// server, and only logs that.
TEST(PelvarMainWin32, CycleEmptiesTheLogAboveFiveHundredDisplayedLines) {
  REQUIRE_DISPLAY();
  test::TempPrefix prefix;
  std::filesystem::create_directories(platform::JournalBaseFolder());
  Fixture f;
  relay::RelayConnection relay;
  upload::ServerLink link;
  upload::SiteProfile profile;
  profile.serverHost = "127.0.0.1";
  profile.serverPort = pelvar::testing::ClosedLoopbackPort();
  upload::UploadCycle cycle(relay, link, f.window, profile, {});

  for (int i = 0; i < 500; ++i)
    f.window.AppendLogLine("x");
  cycle.RunUploadCycle();
  EXPECT_EQ(f.Text("memoLog").substr(0, 6), "x\r\nx\r\n");
  EXPECT_GT(f.window.LogLineCount(), 500);

  f.window.ClearLog();
  for (int i = 0; i < 499; ++i)
    f.window.AppendLogLine("x");
  f.window.AppendLogLine(Narrow(std::wstring(150, L'上')));
  ASSERT_GT(f.window.LogLineCount(), 500);
  cycle.RunUploadCycle();
  EXPECT_NE(f.Text("memoLog").substr(0, 3), "x\r\n");
  EXPECT_LT(f.window.LogLineCount(), 20);
}

TEST(PelvarMainWin32, ControlsFollowTheRunStateAndTheCounterOutlivesStop) {
  REQUIRE_DISPLAY();
  test::TempPrefix prefix;
  std::filesystem::create_directories(platform::JournalBaseFolder());
  Fixture f;
  TfrmPelvarMain& w = f.window;
  config::SettingsStore store;
  upload::RunControl control(
      w, f.boxes, w.Timer1(), [&w] { ProcessPendingMessages(w.Handle()); }, store);
  BindRunControl(w, control);
  w.FormCreate([] { return false; });

  char port[16];
  std::snprintf(port, sizeof port, "%08x", pelvar::testing::ClosedLoopbackPort());
  prefix.WriteRegistry(
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n"
      "\"Dwbh\"=\"zq01\"\r\n\"RemoteHost\"=\"127.0.0.1\"\r\n\"RemotePort\"=dword:" +
      std::string(port) +
      "\r\n\"ScanTime\"=dword:0000003c\r\n\"IsAutoSend\"=dword:00000000\r\n"
      "\"DBType\"=\"MySQL\"\r\n\"DBHost\"=\"127.0.0.1\"\r\n\"DBName\"=\"DAVIV\"\r\n"
      "\"DBUser\"=\"\"\r\n\"DBPasswd\"=\"\"\r\n\"DBPort\"=dword:00000cea\r\n\r\n");

  // The menu: 执行 | 停止 | separator | 设置 | 打开 | 退出.
  std::string items;
  for (int i = 0; i < ::GetMenuItemCount(w.PopupMenu()); ++i) {
    wchar_t caption[32] = L"";
    ::GetMenuStringW(w.PopupMenu(), i, caption, 32, MF_BYPOSITION);
    items += Narrow(caption) + "|";
  }
  EXPECT_EQ(items, "执行|停止||设置|打开|退出|");

  for (int round = 0; round < 2; ++round) {
    EXPECT_TRUE(f.Enabled("btnRun") && f.MenuEnabled(0));
    EXPECT_FALSE(f.Enabled("btnStop") || f.MenuEnabled(1));
    EXPECT_FALSE(::GetWindowLongW(w.Control("leWtRemainTime"), GWL_STYLE) & WS_VISIBLE);
    // The button's click, as the operator gives it.
    ::SendMessageW(w.Control("btnRun"), BM_CLICK, 0, 0);
    ASSERT_TRUE(w.IsRunning());
    EXPECT_FALSE(f.Enabled("btnRun") || f.MenuEnabled(0));
    EXPECT_TRUE(f.Enabled("btnStop") && f.MenuEnabled(1));
    EXPECT_TRUE(f.Enabled("btnSet") && f.MenuEnabled(3) && f.MenuEnabled(4) && f.MenuEnabled(5));
    EXPECT_TRUE(::GetWindowLongW(w.Control("leWtRemainTime"), GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(f.Text("leWtRemainTime"), "59");
    EXPECT_EQ(f.Text("Label2"), "ZQ01");
    EXPECT_TRUE(w.Timer1().Armed());
    for (int sent = 0; sent < 3 - round; ++sent)
      w.RaiseSentCounter();
    w.SetLight(upload::Light::kConnection, upload::LightColour::kGreen);
    EXPECT_EQ(f.Picture("igConnectStatus"), f.Picture("igGreen"));

    // While running the settings and Exit refuse without a password; the
    // menu's items reach the same handlers.
    ::SendMessageW(w.Handle(), WM_COMMAND, MAKEWPARAM(::GetMenuItemID(w.PopupMenu(), 5), 0), 0);
    ::SendMessageW(w.Handle(), WM_COMMAND, MAKEWPARAM(::GetMenuItemID(w.PopupMenu(), 1), 0), 0);
    EXPECT_FALSE(w.IsRunning());
    EXPECT_FALSE(w.Timer1().Armed());
    EXPECT_EQ(f.Text("Label2"), "");
    EXPECT_EQ(f.Picture("igConnectStatus"), f.Picture("igGray"));
  }
  EXPECT_EQ(f.Text("leSendCount"), "5");
  ASSERT_EQ(f.boxes.shown.size(), 2u);
  EXPECT_EQ(f.boxes.shown[0].text, "正在运行状态，不能退出！");
  EXPECT_TRUE(f.inputs.asked.empty());

  // The tray: a left click shows the window, minimising only hides it; the
  // close box asks for the password, and a wrong one keeps the program.
  ::SendMessageW(w.Handle(), kTrayMessage, 0, WM_LBUTTONDOWN);
  EXPECT_TRUE(::IsWindowVisible(w.Handle()));
  ::SendMessageW(w.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_FALSE(::IsWindowVisible(w.Handle()));
  EXPECT_FALSE(::IsIconic(w.Handle()));
  bool closed = false;
  w.onClosed = [&closed] { closed = true; };
  f.inputs.answer = "wrong";
  ::SendMessageW(w.Handle(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(closed);
  EXPECT_EQ(f.inputs.asked, std::vector<std::string>{"请输入密码关闭软件"});
}

}  // namespace
}  // namespace pelvar::win32
