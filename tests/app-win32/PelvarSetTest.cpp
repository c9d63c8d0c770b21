#include <gtest/gtest.h>

#include <cstdlib>

#include "ModalDriver.h"
#include "app-win32/PelvarSet.h"
#include "config/SettingsStore.h"
#include "platform/Paths.h"
#include "relay/RelayConnection.h"
#include "support/RecordingMessageBoxes.h"
#include "support/TempPrefix.h"
#include "support/TestDatabase.h"

namespace pelvar::win32test {
namespace {

using win32::TfrmPelvarSet;

#define PELVAR_REQUIRE_WINDOWS()                                      \
  do {                                                                \
    if (!WindowsShowable())                                           \
      GTEST_SKIP() << "no X display for Wine (run with DISPLAY set)"; \
  } while (false)

struct DialogFixture {
  test::TempPrefix prefix;
  test::RecordingMessageBoxes boxes;
  config::SettingsStore store;
  relay::RelayConnection relay;
  TfrmPelvarSet dialog{store, relay, boxes};

  HWND Item(int id) const { return ::GetDlgItem(dialog.Handle(), id); }
  void ShowModal(std::vector<std::function<void(HWND)>> steps) {
    WhileModal([this] { dialog.ShowModal(nullptr); }, std::move(steps));
  }
};

void Pick(HWND dialog, int index) {
  HWND list = ::GetDlgItem(dialog, win32::cmbDBType);
  ::SendMessageW(list, CB_SETCURSEL, index, 0);
  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(win32::cmbDBType, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}

void Click(HWND dialog, int id) {
  ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

TEST(PelvarSetWin32, WindowFieldsAndTabOrder) {
  PELVAR_REQUIRE_WINDOWS();
  DialogFixture f;
  HWND d = f.dialog.Handle();
  ASSERT_NE(d, nullptr);
  RECT client{};
  ::GetClientRect(d, &client);
  EXPECT_EQ(client.right, 378);
  EXPECT_EQ(client.bottom, 319);
  EXPECT_EQ(::SendMessageW(f.Item(win32::edtDBPasswd), EM_GETPASSWORDCHAR, 0, 0), L'*');
  EXPECT_EQ(::SendMessageW(f.Item(win32::cmbDBType), CB_GETCURSEL, 0, 0), CB_ERR);

  std::vector<int> order;
  HWND control = f.Item(win32::btnSet);
  do {
    order.push_back(::GetDlgCtrlID(control));
    control = ::GetNextDlgTabItem(d, control, FALSE);
  } while (control != f.Item(win32::btnSet) && order.size() < 20);
  using namespace win32;
  EXPECT_EQ(order, (std::vector<int>{btnSet, btnExit, edtRemortIP, edtRemortPort, edtTime,
                                     chkAutoStar, chkAutoSend, edtDwbh, cmbDBType, edtDBHost,
                                     edtDBName, edtDBUser, edtDBPasswd, edtDBPort}));
}

TEST(PelvarSetWin32, DigitsOnlyFieldsAndPortProposalOnPickOnly) {
  PELVAR_REQUIRE_WINDOWS();
  DialogFixture f;
  f.prefix.WriteRegistry(
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n"
      "\"Dwbh\"=\"ZQ\"\r\n\"RemoteHost\"=\"h\"\r\n\"RemotePort\"=dword:00000010\r\n"
      "\"ScanTime\"=dword:00000078\r\n\"IsAutoSend\"=dword:00000001\r\n"
      "\"DBType\"=\"sql server\"\r\n\"DBPort\"=dword:000005dc\r\n\r\n");
  f.ShowModal({[&](HWND d) {
    // Opening selects the stored entry without proposing a port.
    EXPECT_EQ(::SendMessageW(f.Item(win32::cmbDBType), CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(Text(f.Item(win32::edtDBPort)), "1500");
    EXPECT_EQ(Text(f.Item(win32::edtDwbh)), "ZQ");
    for (int id : {win32::edtTime, win32::edtRemortPort, win32::edtDBPort}) {
      SetText(f.Item(id), "");
      Type(f.Item(id), L"1a2-3 .４\x16\b9");
      EXPECT_EQ(Text(f.Item(id)), "129") << id;
    }
    SetText(f.Item(win32::edtDwbh), "");
    Type(f.Item(win32::edtDwbh), L"a-1");
    EXPECT_EQ(Text(f.Item(win32::edtDwbh)), "a-1");

    Pick(d, 0);
    EXPECT_EQ(Text(f.Item(win32::edtDBPort)), "3306");
    Pick(d, 1);
    EXPECT_EQ(Text(f.Item(win32::edtDBPort)), "1433");
    Click(d, win32::btnExit);  // saves nothing
  }});
  EXPECT_FALSE(::IsWindowVisible(f.dialog.Handle()));
  EXPECT_TRUE(f.boxes.shown.empty());
  f.store.OpenSettingsKey(false);
  EXPECT_EQ(f.store.ReadText("Dwbh"), "ZQ");
  EXPECT_EQ(f.store.ReadNumber("DBPort"), 1500);
}

TEST(PelvarSetWin32, RefusedValidationKeepsTheDialogOpenWithNothingWritten) {
  PELVAR_REQUIRE_WINDOWS();
  DialogFixture f;
  f.ShowModal({[&](HWND) {
                 SetText(f.Item(win32::edtDwbh), "ZQ");
                 SetText(f.Item(win32::edtTime), "59");
                 ::SetFocus(f.Item(win32::edtTime));
                 PostKey(f.Item(win32::edtTime), VK_RETURN);  // presses "设置"
               },
               [&](HWND d) {
                 ASSERT_EQ(f.boxes.shown.size(), 1u);
                 EXPECT_EQ(f.boxes.shown[0].text, "数据上传间隔 限制在60-300秒之间！");
                 EXPECT_EQ(f.boxes.shown[0].caption, "岚秋软件");
                 EXPECT_TRUE(::IsWindowVisible(d));
                 EXPECT_FALSE(f.store.SettingsKeyExists());
                 ::PostMessageW(d, WM_CLOSE, 0, 0);
               }});
  EXPECT_FALSE(::IsWindowVisible(f.dialog.Handle()));
  // The fields keep their contents for the next opening without a key.
  f.ShowModal({[&](HWND d) {
    EXPECT_EQ(Text(f.Item(win32::edtTime)), "59");
    Click(d, win32::btnExit);
  }});
}

TEST(PelvarSetWin32, SaveWritesTheSettingsAndRecordsTheAgencyInTheRelay) {
  PELVAR_REQUIRE_WINDOWS();
  PELVAR_REQUIRE_TEST_DATABASE();
  DialogFixture f;
  test::TestDatabase database;
  database.Run("create table jcjg_cuser (dwbh varchar(20), guid varchar(40))");
  const db::ConnectionParameters relay = database.MySqlParameters();
  f.ShowModal({[&](HWND d) {
    SetText(f.Item(win32::edtDwbh), "zq001");
    Pick(d, 0);
    SetText(f.Item(win32::edtDBHost), relay.server);
    SetText(f.Item(win32::edtDBName), relay.database);
    SetText(f.Item(win32::edtDBUser), relay.userName);
    SetText(f.Item(win32::edtDBPasswd), relay.password);
    SetText(f.Item(win32::edtDBPort), std::to_string(relay.port));
    Click(d, win32::chkAutoStar);
    Click(d, win32::chkAutoSend);
    Click(d, win32::btnSet);
  }});
  EXPECT_TRUE(f.boxes.shown.empty()) << f.boxes.shown[0].text;
  EXPECT_EQ(database.Scalar("select dwbh from jcjg_cuser"), "zq001");
  const config::RunSettingsLoad load = f.store.LoadRunSettings();
  ASSERT_TRUE(load.settings.has_value());
  EXPECT_EQ(load.settings->databaseKind, "MySQL");
  EXPECT_EQ(load.settings->DBPort, relay.port);
  EXPECT_TRUE(f.store.ReadAutoSendFlag());
  EXPECT_TRUE(f.store.AutostartPresent());
}

}  // namespace
}  // namespace pelvar::win32test
