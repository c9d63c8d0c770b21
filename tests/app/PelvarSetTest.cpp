#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "AppTestSupport.h"
#include "config/PelvarSet.h"
#include "config/SettingsStore.h"
#include "relay/RelayConnection.h"
#include "support/TempPrefix.h"
#include "text/Gbk.h"

namespace pelvar::apptest {
namespace {

using config::TfrmPelvarSet;

template <typename T>
T* Child(QObject& dialog, const char* name) {
  T* child = dialog.findChild<T*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}

std::string FieldText(QObject& dialog, const char* name) {
  return Child<QLineEdit>(dialog, name)->text().toStdString();
}

struct DialogFixture {
  test::TempPrefix prefix;
  RecordingBoxes boxes;
  config::SettingsStore store;
  relay::RelayConnection relay;
  TfrmPelvarSet dialog{store, relay, boxes};
};

TEST(PelvarSet, LayoutInitialContentsAndTabOrder) {
  DialogFixture f;
  TfrmPelvarSet& d = f.dialog;
  EXPECT_EQ(d.windowTitle(), "信息设置");
  EXPECT_EQ(d.size(), QSize(378, 319));
  EXPECT_EQ(d.minimumSize(), d.maximumSize());
  EXPECT_FALSE(d.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(d.font().families().contains("WenQuanYi Micro Hei"));
  EXPECT_EQ(d.font().pointSize(), 9);
  EXPECT_EQ(Child<QGroupBox>(d, "GroupBox1")->title(), "远程通讯 设置");
  EXPECT_EQ(Child<QGroupBox>(d, "GroupBox2")->title(), "中转库 设置");

  EXPECT_EQ(FieldText(d, "edtDwbh"), "");
  EXPECT_EQ(Child<QLineEdit>(d, "edtDwbh")->palette().color(QPalette::Text), QColor(Qt::red));
  EXPECT_EQ(FieldText(d, "edtRemortIP"), "supervision.example");
  EXPECT_EQ(FieldText(d, "edtRemortPort"), "13031");
  EXPECT_EQ(FieldText(d, "edtTime"), "100");
  EXPECT_FALSE(Child<QCheckBox>(d, "chkAutoStar")->isChecked());
  EXPECT_FALSE(Child<QCheckBox>(d, "chkAutoSend")->isChecked());
  EXPECT_EQ(Child<QCheckBox>(d, "chkAutoStar")->text(), "选择随机启动程序");
  EXPECT_EQ(Child<QCheckBox>(d, "chkAutoSend")->text(), "选择自动上传");
  auto* type = Child<QComboBox>(d, "cmbDBType");
  EXPECT_FALSE(type->isEditable());
  EXPECT_EQ(type->count(), 2);
  EXPECT_EQ(type->itemText(0), "MySQL");
  EXPECT_EQ(type->itemText(1), "SQL Server");
  EXPECT_EQ(type->currentIndex(), -1);
  EXPECT_EQ(FieldText(d, "edtDBPort"), "3306");
  EXPECT_EQ(FieldText(d, "edtDBHost"), "127.0.0.1");
  EXPECT_EQ(FieldText(d, "edtDBName"), "DAVIV");
  EXPECT_EQ(FieldText(d, "edtDBUser"), "");
  EXPECT_EQ(Child<QLineEdit>(d, "edtDBPasswd")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(Child<QPushButton>(d, "btnSet")->text(), "设置");
  EXPECT_TRUE(Child<QPushButton>(d, "btnSet")->isDefault());
  EXPECT_EQ(Child<QPushButton>(d, "btnExit")->text(), "退出");

  QStringList order;
  QWidget* widget = Child<QWidget>(d, "btnSet");
  do {
    if (widget->focusPolicy() & Qt::TabFocus)
      order << widget->objectName();
    widget = widget->nextInFocusChain();
  } while (widget != Child<QWidget>(d, "btnSet"));
  EXPECT_EQ(order.join(",").toStdString(),
            "btnSet,btnExit,edtRemortIP,edtRemortPort,edtTime,chkAutoStar,chkAutoSend,edtDwbh,"
            "cmbDBType,edtDBHost,edtDBName,edtDBUser,edtDBPasswd,edtDBPort");
}

TEST(PelvarSet, DigitsOnlyFieldsAndPortProposal) {
  DialogFixture f;
  TfrmPelvarSet& d = f.dialog;
  d.show();
  for (const char* name : {"edtTime", "edtRemortPort", "edtDBPort"}) {
    auto* field = Child<QLineEdit>(d, name);
    field->clear();
    QTest::keyClicks(field, "1a2-3 .");
    QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QStringLiteral("４"), Qt::NoModifier);
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, "9");
    EXPECT_EQ(field->text(), "129") << name;
    field->insert("x");  // pasted text is not filtered
    EXPECT_EQ(field->text(), "129x") << name;
  }
  QTest::keyClicks(Child<QLineEdit>(d, "edtDwbh"), "a-1");
  EXPECT_EQ(FieldText(d, "edtDwbh"), "a-1");

  // Only the operator's pick proposes a port.
  auto* type = Child<QComboBox>(d, "cmbDBType");
  emit type->activated(1);
  EXPECT_EQ(FieldText(d, "edtDBPort"), "1433");
  emit type->activated(0);
  EXPECT_EQ(FieldText(d, "edtDBPort"), "3306");
  Child<QLineEdit>(d, "edtDBPort")->setText("1500");
  type->setCurrentIndex(1);
  EXPECT_EQ(FieldText(d, "edtDBPort"), "1500");

  // Enter in a digits-only field still presses the default button.
  Child<QLineEdit>(d, "edtDwbh")->clear();
  QTest::keyClick(Child<QLineEdit>(d, "edtTime"), Qt::Key_Return);
  ASSERT_EQ(f.boxes.shown.size(), 1u);
  EXPECT_EQ(f.boxes.shown[0].text, "检测机构 监管编号 不能空！");
  EXPECT_TRUE(d.isVisible());
}

TEST(PelvarSet, OpeningFillsFromTheStore) {
  DialogFixture f;
  TfrmPelvarSet& d = f.dialog;
  Child<QLineEdit>(d, "edtDwbh")->setText("edited");
  d.show();  // no settings key: the fields keep their contents
  EXPECT_EQ(FieldText(d, "edtDwbh"), "edited");
  d.reject();

  f.prefix.WriteRegistry(
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n"
      "\"Dwbh\"=\"ZQ\"\r\n\"RemoteHost\"=\"h\"\r\n\"RemotePort\"=dword:00000010\r\n"
      "\"ScanTime\"=dword:00000078\r\n\"IsAutoSend\"=dword:00000001\r\n"
      "\"DBType\"=\"SQL SERVER\"\r\n\"DBHost\"=\"dbh\"\r\n\"DBName\"=\"n\"\r\n"
      "\"DBUser\"=\"u\"\r\n\"DBPasswd\"=\"pw\"\r\n\"DBPort\"=dword:000005dc\r\n\r\n");
  f.store.SetAutostart("/usr/bin/pelvar");
  d.show();
  EXPECT_EQ(FieldText(d, "edtDwbh"), "ZQ");
  EXPECT_EQ(FieldText(d, "edtRemortPort"), "16");
  EXPECT_EQ(FieldText(d, "edtTime"), "120");
  EXPECT_TRUE(Child<QCheckBox>(d, "chkAutoSend")->isChecked());
  EXPECT_EQ(Child<QComboBox>(d, "cmbDBType")->currentText(), "SQL Server");
  EXPECT_EQ(FieldText(d, "edtDBPort"), "1500");
  EXPECT_EQ(FieldText(d, "edtDBPasswd"), "pw");
  EXPECT_TRUE(Child<QCheckBox>(d, "chkAutoStar")->isChecked());
  d.reject();

  // A failing read: the general error box, the fields before it filled, the
  // later ones and the autostart tick as they were, the dialog open anyway.
  f.prefix.WriteRegistry(
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n"
      "\"Dwbh\"=\"ZQ2\"\r\n\"RemoteHost\"=\"h2\"\r\n\"RemotePort\"=dword:00000011\r\n\r\n");
  f.store.RemoveAutostart();
  d.show();
  EXPECT_TRUE(d.isVisible());
  ASSERT_EQ(f.boxes.shown.size(), 1u);
  EXPECT_EQ(f.boxes.shown[0].text, "Failed to get data for 'ScanTime'");
  EXPECT_EQ(f.boxes.shown[0].caption, "检测监管数据上传【V2.0.2】");
  EXPECT_EQ(f.boxes.shown[0].icon, platform::MessageIcon::kError);
  EXPECT_EQ(FieldText(d, "edtDwbh"), "ZQ2");
  EXPECT_EQ(FieldText(d, "edtRemortPort"), "17");
  EXPECT_EQ(FieldText(d, "edtTime"), "120");
  EXPECT_TRUE(Child<QCheckBox>(d, "chkAutoStar")->isChecked());
}

TEST(PelvarSet, SavingClosesTheDialogOnlyWhenDone) {
  DialogFixture f;
  TfrmPelvarSet& d = f.dialog;
  d.show();
  Child<QLineEdit>(d, "edtDwbh")->setText(" zq ");
  Child<QLineEdit>(d, "edtTime")->setText("abc");
  QTest::mouseClick(Child<QPushButton>(d, "btnSet"), Qt::LeftButton);
  ASSERT_EQ(f.boxes.shown.size(), 1u);
  EXPECT_EQ(f.boxes.shown[0].text, "'abc' is not a valid integer value.");
  EXPECT_TRUE(d.isVisible());
  EXPECT_FALSE(f.store.SettingsKeyExists());

  // No database type chosen: written, the check fails, the dialog closes.
  Child<QLineEdit>(d, "edtTime")->setText("60");
  QTest::mouseClick(Child<QPushButton>(d, "btnSet"), Qt::LeftButton);
  ASSERT_EQ(f.boxes.shown.size(), 2u);
  EXPECT_EQ(f.boxes.shown[1].text, "中转数据库设置错误！");
  EXPECT_EQ(f.boxes.shown[1].icon, platform::MessageIcon::kNone);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(d.result(), QDialog::Accepted);
  std::string stored = text::GbkToUtf8(f.prefix.ReadRegistryBytes());
  EXPECT_NE(stored.find("\"Dwbh\"=\" zq \"\r\n"), std::string::npos);
  EXPECT_NE(stored.find("\"ScanTime\"=dword:0000003c\r\n"), std::string::npos);

  // "退出" writes nothing.
  d.show();
  Child<QLineEdit>(d, "edtDwbh")->setText("other");
  QTest::mouseClick(Child<QPushButton>(d, "btnExit"), Qt::LeftButton);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(d.result(), QDialog::Rejected);
  EXPECT_EQ(text::GbkToUtf8(f.prefix.ReadRegistryBytes()), stored);
  d.show();
  EXPECT_EQ(FieldText(d, "edtDwbh"), " zq ");
}

}  // namespace
}  // namespace pelvar::apptest
