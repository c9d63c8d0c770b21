#include <gtest/gtest.h>

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextBlock>
#include <stdexcept>

#include "AppTestSupport.h"
#include "app/PelvarMain.h"
#include "console/AccessPassword.h"
#include "text/Error.h"

namespace pelvar::apptest {
namespace {

using app::TfrmPelvarMain;

const text::DateTime kNoon{2026, 12, 9, 12, 0, 0, 0};
constexpr const char* kTitle = "检测监管数据上传【V2.0.2】";

template <typename T>
T* Child(QObject& window, const char* name) {
  T* child = window.findChild<T*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}

QString Text(QObject& window, const char* name) {
  if (auto* label = window.findChild<QLabel*>(name))
    return label->text();
  if (auto* field = window.findChild<QLineEdit*>(name))
    return field->text();
  if (auto* button = window.findChild<QPushButton*>(name))
    return button->text();
  if (auto* box = window.findChild<QGroupBox*>(name))
    return box->title();
  if (auto* action = window.findChild<QAction*>(name))
    return action->text();
  ADD_FAILURE() << "no control " << name;
  return {};
}

QImage Picture(QObject& window, const char* name) {
  return Child<QLabel>(window, name)->pixmap().toImage();
}

struct Fixture {
  RecordingBoxes boxes;
  AnsweringInputBoxes inputs;
  TfrmPelvarMain window{boxes, inputs};
};

TEST(PelvarMain, LayoutNamesCaptionsAndInitialState) {
  Fixture f;
  TfrmPelvarMain& w = f.window;
  EXPECT_TRUE(w.isHidden());
  EXPECT_EQ(w.size(), QSize(638, 448));
  EXPECT_EQ(w.pos(), QPoint(512, 15));
  EXPECT_TRUE(w.font().families().contains("WenQuanYi Micro Hei"));
  EXPECT_EQ(w.font().families().front(), "宋体");
  EXPECT_EQ(w.font().pixelSize(), 12);

  EXPECT_EQ(Child<QWidget>(w, "Panel2")->height(), 59);
  EXPECT_EQ(Child<QWidget>(w, "GroupBox3")->height(), 49);
  EXPECT_EQ(Child<QWidget>(w, "Panel1")->height(), 41);
  EXPECT_EQ(Child<QWidget>(w, "imgOk")->size(), QSize(62, 59));
  EXPECT_EQ(Text(w, "Label3"), "客户端程序");
  EXPECT_EQ(Text(w, "Label4"), "每隔一定时间扫描数据库,将未发送记录发送到服务端");
  EXPECT_EQ(Text(w, "Label2"), "");
  EXPECT_EQ(Text(w, "GroupBox1"), "系统日志");
  EXPECT_EQ(Text(w, "GroupBox3"), "当前状态");
  EXPECT_EQ(Text(w, "Label1"), "数据库连接状态");
  EXPECT_EQ(Text(w, "Label6"), "通讯服务器连接状态");
  EXPECT_EQ(Text(w, "leSendCountLabel"), "已发送记录数 ");
  EXPECT_EQ(Text(w, "leWtRemainTimeLabel"), "剩余时间 ");
  EXPECT_EQ(Text(w, "leSendCount"), "0");
  EXPECT_EQ(Text(w, "btnSet"), "设置(&S)");
  EXPECT_EQ(Text(w, "btnRun"), "执行(&R)");
  EXPECT_EQ(Text(w, "btnStop"), "停止");
  EXPECT_EQ(Text(w, "btnExit"), "退出(&X)");
  EXPECT_EQ(Child<QWidget>(w, "btnSet")->toolTip(),
            "进行源和目的数据库的设置及要迁移数据及迁移方式的设置");
  for (const char* light : {"igDbStatus", "igConnectStatus"}) {
    EXPECT_EQ(Child<QWidget>(w, light)->toolTip(),
              "灰色表示尚未进行连接，红色表示连接失败，绿色表示连接成功");
    EXPECT_EQ(Child<QWidget>(w, light)->size(), QSize(20, 20));
    EXPECT_EQ(Picture(w, light), Picture(w, "igGray"));
  }
  for (const char* holder : {"igGray", "igGreen", "igRed"}) {
    EXPECT_TRUE(Child<QWidget>(w, holder)->isHidden()) << holder;
    QImage lamp = Picture(w, holder);
    EXPECT_EQ(lamp.size(), QSize(20, 20));
    EXPECT_EQ(qAlpha(lamp.pixel(0, 0)), 0) << holder << ": background shown transparent";
    EXPECT_EQ(qAlpha(lamp.pixel(10, 10)), 255) << holder;
  }
  EXPECT_NE(Picture(w, "igGreen"), Picture(w, "igRed"));

  auto* memo = Child<QPlainTextEdit>(w, "memoLog");
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_TRUE(memo->textInteractionFlags() & Qt::TextSelectableByMouse);
  EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_EQ(w.LogLineCount(), 0);
  EXPECT_TRUE(Child<QWidget>(w, "leWtRemainTime")->isHidden());
  EXPECT_TRUE(Child<QWidget>(w, "leWtRemainTimeLabel")->isHidden());
  EXPECT_TRUE(Child<QLineEdit>(w, "leSendCount")->isReadOnly());
  EXPECT_EQ(Child<QObject>(w, "Timer1"), &w.Timer1());
  EXPECT_FALSE(w.Timer1().Enabled());

  EXPECT_TRUE(Child<QWidget>(w, "btnSet")->isEnabled());
  EXPECT_TRUE(Child<QWidget>(w, "btnRun")->isEnabled());
  EXPECT_FALSE(Child<QWidget>(w, "btnStop")->isEnabled());
  EXPECT_TRUE(Child<QWidget>(w, "btnExit")->isEnabled());
  EXPECT_FALSE(w.IsRunning());

  // The tray menu: items in order, captions as written, separator N3.
  QStringList items;
  for (QAction* action : w.PopupMenu().actions())
    items << action->objectName() + "=" + action->text();
  EXPECT_EQ(
      items.join("|").toStdString(),
      "popMenuStar=执行|popMenuStop=停止|N3=|popMenuSet=设置|popMenuShow=打开|popMenuExit=退出");
  EXPECT_TRUE(Child<QAction>(w, "N3")->isSeparator());
  EXPECT_EQ(w.PopupMenu().objectName(), "PopupMenu");
  EXPECT_EQ(w.TrayIcon().toolTip(), kTitle);
  EXPECT_FALSE(w.TrayIcon().icon().isNull());
  EXPECT_TRUE(f.boxes.shown.empty());
}

TEST(PelvarMain, FormCreateAndRunStateEnabling) {
  Fixture f;
  TfrmPelvarMain& w = f.window;
  int runs = 0;
  w.onRun = [&] { ++runs; };
  w.FormCreate([] { return false; });
  EXPECT_EQ(w.windowTitle(), kTitle);
  EXPECT_TRUE(w.TrayIcon().isVisible());
  EXPECT_TRUE(w.isHidden());
  EXPECT_EQ(runs, 0);

  auto enabled = [&](const char* name) {
    if (auto* action = w.findChild<QAction*>(name))
      return action->isEnabled();
    return Child<QWidget>(w, name)->isEnabled();
  };
  w.SetRunning(true);
  EXPECT_TRUE(w.IsRunning());
  // The tray tooltip follows the run state and the last cycle.
  upload::CycleOutcome outcome;
  outcome.time = {2026, 12, 9, 8, 5, 0};
  outcome.pending = 12;
  w.CycleFinished(outcome);
  EXPECT_EQ(w.TrayIcon().toolTip(),
            QString(kTitle) + "\n正在上传\n待上传 12 行\n上次 2026-12-9 8:05:00 完成");
  EXPECT_FALSE(enabled("btnRun"));
  EXPECT_FALSE(enabled("popMenuStar"));
  EXPECT_TRUE(enabled("btnStop"));
  EXPECT_TRUE(enabled("popMenuStop"));
  EXPECT_TRUE(enabled("popMenuSet"));
  EXPECT_TRUE(enabled("popMenuExit"));
  w.SetRunning(false);
  EXPECT_TRUE(enabled("btnRun"));
  EXPECT_TRUE(enabled("popMenuStar"));
  EXPECT_FALSE(enabled("btnStop"));
  EXPECT_FALSE(enabled("popMenuStop"));

  // Buttons and menu items reach the hooks.
  int stops = 0;
  w.onStop = [&] { ++stops; };
  QTest::mouseClick(Child<QPushButton>(w, "btnRun"), Qt::LeftButton);
  Child<QAction>(w, "popMenuStar")->trigger();
  w.SetRunning(true);
  QTest::mouseClick(Child<QPushButton>(w, "btnStop"), Qt::LeftButton);
  Child<QAction>(w, "popMenuStop")->trigger();
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(stops, 2);

  // An autostarted Run happens at creation; an error on the way goes to the
  // general error box and creation goes on.
  Fixture g;
  int autoRuns = 0;
  g.window.onRun = [&] { ++autoRuns; };
  g.window.FormCreate([] { return true; });
  EXPECT_EQ(autoRuns, 1);
  Fixture h;
  h.window.FormCreate([]() -> bool { throw Error("Invalid data type for 'IsAutoSend'"); });
  ASSERT_EQ(h.boxes.shown.size(), 1u);
  EXPECT_EQ(h.boxes.shown[0].text, "Invalid data type for 'IsAutoSend'");
  EXPECT_EQ(h.boxes.shown[0].caption, kTitle);
  EXPECT_EQ(h.boxes.shown[0].icon, platform::MessageIcon::kError);
  EXPECT_EQ(h.window.windowTitle(), kTitle);
  EXPECT_FALSE(h.window.IsRunning());

  // An error escaping a handler is shown with the full-stop rule.
  h.window.onRun = [] { throw Error("'abc' is not a valid integer value"); };
  QTest::mouseClick(Child<QPushButton>(h.window, "btnRun"), Qt::LeftButton);
  ASSERT_EQ(h.boxes.shown.size(), 2u);
  EXPECT_EQ(h.boxes.shown[1].text, "'abc' is not a valid integer value.");
}

TEST(PelvarMain, SettingsGuardAndPassword) {
  EXPECT_EQ(console::AccessPassword({2026, 12, 9, 23, 59, 59, 0}), "091226");
  EXPECT_EQ(console::AccessPassword({2001, 1, 5, 0, 0, 0, 0}), "050101");
  SetMachineClock(kNoon);

  Fixture f;
  TfrmPelvarMain& w = f.window;
  int shown = 0;
  w.onShowSettings = [&] { ++shown; };

  // Running: refused with a box, no password asked.
  w.SetRunning(true);
  w.btnSetClick();
  Child<QAction>(w, "popMenuSet")->trigger();
  ASSERT_EQ(f.boxes.shown.size(), 2u);
  EXPECT_EQ(f.boxes.shown[0].text, "正在运行状态，禁止设置！");
  EXPECT_EQ(f.boxes.shown[0].caption, "岚秋软件");
  EXPECT_EQ(f.boxes.shown[0].icon, platform::MessageIcon::kInformation);
  EXPECT_TRUE(f.inputs.asked.empty());
  EXPECT_EQ(shown, 0);

  // Idle: wrong, cancelled and blank-padded answers do nothing at all.
  w.SetRunning(false);
  for (const char* answer : {"123456", "", " 091226", "091226 ", "09122", "0912260"}) {
    f.inputs.answer = [answer] { return std::string(answer); };
    w.btnSetClick();
  }
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(f.boxes.shown.size(), 2u);
  ASSERT_EQ(f.inputs.asked.size(), 6u);
  EXPECT_EQ(f.inputs.asked[0].caption, "数据监管");
  EXPECT_EQ(f.inputs.asked[0].prompt, "请输入密码进入设置模块");

  f.inputs.answer = [] { return std::string("091226"); };
  QTest::mouseClick(Child<QPushButton>(w, "btnSet"), Qt::LeftButton);
  EXPECT_EQ(shown, 1);

  // The password is computed after the box closed: a box answered after
  // midnight is compared with the new day's password.
  f.inputs.answer = [] {
    SetMachineClock({2026, 12, 10, 0, 0, 1, 0});
    return std::string("091226");
  };
  w.btnSetClick();
  EXPECT_EQ(shown, 1);
  f.inputs.answer = [] {
    SetMachineClock({2026, 12, 10, 0, 0, 1, 0});
    return std::string("101226");
  };
  w.btnSetClick();
  EXPECT_EQ(shown, 2);
  SetMachineClock(kNoon);
}

TEST(PelvarMain, CloseCheckExitAndTray) {
  SetMachineClock(kNoon);
  Fixture f;
  TfrmPelvarMain& w = f.window;
  w.FormCreate({});
  QSignalSpy closed(&w, &TfrmPelvarMain::Closed);

  // Exit while running is refused by the run control before any password.
  bool exitAllowed = false;
  w.onExitAllowed = [&] { return exitAllowed; };
  w.btnExitClick();
  EXPECT_TRUE(f.inputs.asked.empty());

  // The close box asks in either state; a wrong or cancelled answer refuses.
  w.show();
  w.SetRunning(true);
  for (const char* answer : {"", "091226 ", "999999"}) {
    f.inputs.answer = [answer] { return std::string(answer); };
    EXPECT_FALSE(w.close());
  }
  EXPECT_EQ(closed.count(), 0);
  EXPECT_TRUE(w.isVisible());
  ASSERT_EQ(f.inputs.asked.size(), 3u);
  EXPECT_EQ(f.inputs.asked[0].prompt, "请输入密码关闭软件");
  EXPECT_TRUE(f.boxes.shown.empty());

  // Tray: a minimise hides the window and keeps the icon; a left click shows it.
  w.setWindowState(Qt::WindowMinimized);
  QTest::qWait(20);
  EXPECT_TRUE(w.isHidden());
  EXPECT_FALSE(w.windowState() & Qt::WindowMinimized);
  EXPECT_TRUE(w.TrayIcon().isVisible());
  emit w.TrayIcon().activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(w.isVisible());
  emit w.TrayIcon().activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(w.isVisible());
  w.hide();
  Child<QAction>(w, "popMenuShow")->trigger();
  EXPECT_TRUE(w.isVisible());

  // Exit while idle closes through the close check; the right password ends
  // the program, also from a hidden window.
  w.hide();
  w.SetRunning(false);
  exitAllowed = true;
  f.inputs.answer = [] { return std::string("091226"); };
  Child<QAction>(w, "popMenuExit")->trigger();
  EXPECT_EQ(closed.count(), 1);
  EXPECT_EQ(f.inputs.asked.size(), 4u);
}

TEST(PelvarMain, DisplayOperations) {
  Fixture f;
  TfrmPelvarMain& w = f.window;

  // Sent counter: the text is the store, and it keeps counting.
  for (int i = 0; i < 3; ++i)
    w.RaiseSentCounter();
  w.SetRunning(true);
  w.SetRunning(false);
  w.ClearLog();
  w.RaiseSentCounter();
  w.RaiseSentCounter();
  EXPECT_EQ(Text(w, "leSendCount"), "5");

  w.SetLight(upload::Light::kRelayDatabase, upload::LightColour::kGreen);
  w.SetLight(upload::Light::kConnection, upload::LightColour::kRed);
  EXPECT_EQ(Picture(w, "igDbStatus"), Picture(w, "igGreen"));
  EXPECT_EQ(Picture(w, "igConnectStatus"), Picture(w, "igRed"));
  w.SetLight(upload::Light::kConnection, upload::LightColour::kGray);
  EXPECT_EQ(Picture(w, "igConnectStatus"), Picture(w, "igGray"));

  w.SetRemainingTimeVisible(true);
  w.ShowRemainingTime(59);
  EXPECT_FALSE(Child<QWidget>(w, "leWtRemainTime")->isHidden());
  EXPECT_EQ(Text(w, "leWtRemainTime"), "59");
  w.SetRemainingTimeVisible(false);
  EXPECT_TRUE(Child<QWidget>(w, "leWtRemainTime")->isHidden());
  EXPECT_EQ(Text(w, "leWtRemainTime"), "59");

  w.SetHeaderLabel("演示检测站");
  EXPECT_EQ(Text(w, "Label2"), "演示检测站");
  w.SetHeaderLabel("");
  EXPECT_EQ(Text(w, "Label2"), "");

  // The log holds exactly the appended text, each line ending with a break.
  w.AppendLogLine("√ R-1 上传成功！2026-12-9 8:31:15");
  w.AppendLogLine("");
  w.AppendLogLine("a\r\nb");
  EXPECT_EQ(Child<QPlainTextEdit>(w, "memoLog")->toPlainText().toStdString(),
            "√ R-1 上传成功！2026-12-9 8:31:15\n\na\nb");
  EXPECT_EQ(w.LogLineCount(), 4);
  w.ClearLog();
  EXPECT_EQ(w.LogLineCount(), 0);
  w.AppendLogLine("");
  EXPECT_EQ(w.LogLineCount(), 1);
  EXPECT_TRUE(f.boxes.shown.empty());
}

TEST(PelvarMain, LogLineCountCountsDisplayedRows) {
  Fixture f;
  TfrmPelvarMain& w = f.window;
  for (int i = 0; i < 500; ++i)
    w.AppendLogLine("× R-" + std::to_string(i) + " 上传失败");
  EXPECT_EQ(w.LogLineCount(), 500);
  w.AppendLogLine("one more");
  EXPECT_EQ(w.LogLineCount(), 501);

  // A line too long for the view's width counts once per displayed row.
  w.ClearLog();
  for (int i = 0; i < 499; ++i)
    w.AppendLogLine("short");
  std::string longLine;
  for (int i = 0; i < 150; ++i)
    longLine += "上传";
  w.AppendLogLine(longLine);
  int hiddenCount = w.LogLineCount();
  EXPECT_GT(hiddenCount, 501);

  // The hidden window counts what the shown view displays.
  w.ClearLog();
  w.AppendLogLine(longLine);
  w.AppendLogLine("x");
  w.AppendLogLine(longLine + " " + longLine);
  int counted = w.LogLineCount();
  w.show();
  QTest::qWait(20);
  auto* memo = Child<QPlainTextEdit>(w, "memoLog");
  int displayed = 0;
  for (QTextBlock block = memo->document()->begin(); block.isValid(); block = block.next()) {
    displayed += block.layout()->lineCount();
  }
  EXPECT_EQ(counted, displayed);
  EXPECT_EQ(w.LogLineCount(), displayed);
  EXPECT_GT(displayed, 5);
}

}  // namespace
}  // namespace pelvar::apptest
