#include <gtest/gtest.h>

#include "ModalDriver.h"
#include "app-win32/Win32InputBoxes.h"

namespace pelvar::win32test {
namespace {

HWND Field(HWND box) {
  return ::FindWindowExW(box, nullptr, L"EDIT", nullptr);
}

TEST(Win32InputBoxes, OkGivesTheTypedTextCancelEscAndCloseGiveNothing) {
  if (!WindowsShowable())
    GTEST_SKIP() << "no X display for Wine (run with DISPLAY set)";
  win32::Win32InputBoxes boxes;
  std::string answer;
  auto ask = [&] { answer = boxes.InputBox("数据监管", "请输入密码进入设置模块"); };

  WhileModal(ask, {[](HWND box) {
               EXPECT_EQ(Text(box), "数据监管");
               EXPECT_NE(::FindWindowExW(box, nullptr, L"STATIC", L"请输入密码进入设置模块"),
                         nullptr);
               EXPECT_EQ(::SendMessageW(Field(box), EM_GETLIMITTEXT, 0, 0), 255);
               Type(Field(box), L" 12ab");
               PostKey(Field(box), VK_RETURN);
             }});
  EXPECT_EQ(answer, " 12ab");

  WhileModal(ask, {[](HWND box) {
               Type(Field(box), L"1");
               ::SendMessageW(::GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
             }});
  EXPECT_EQ(answer, "");
  WhileModal(ask, {[](HWND box) {
               Type(Field(box), L"1");
               ::PostMessageW(box, WM_CLOSE, 0, 0);
             }});
  EXPECT_EQ(answer, "");
}

}  // namespace
}  // namespace pelvar::win32test
