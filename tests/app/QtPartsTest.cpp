#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <stdexcept>

#include "AppTestSupport.h"
#include "app/QtDialogs.h"
#include "app/QtScanTimer.h"
#include "config/GeneralError.h"
#include "text/Error.h"

namespace pelvar::apptest {
namespace {

// Runs act on the modal box as soon as it is up (polling, because the box
// appears only once exec() runs the nested loop).
void WhenModalShown(std::function<void(QWidget*)> act) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    QWidget* box = QApplication::activeModalWidget();
    if (box == nullptr || !box->isVisible())
      return;
    poll->stop();
    poll->deleteLater();
    act(box);
  });
  poll->start(5);
}

TEST(QtParts, GeneralErrorTextAddsFullStopAboveItsCode) {
  EXPECT_EQ(config::GeneralErrorText("'abc' is not a valid integer value"),
            "'abc' is not a valid integer value.");
  EXPECT_EQ(config::GeneralErrorText("Failed to get data for 'ScanTime'"),
            "Failed to get data for 'ScanTime'");
  EXPECT_EQ(config::GeneralErrorText("done."), "done.");
  EXPECT_EQ(config::GeneralErrorText("a-"), "a-");
  EXPECT_EQ(config::GeneralErrorText("a/"), "a/.");
  EXPECT_EQ(config::GeneralErrorText("连接失败！"), "连接失败！.");
  EXPECT_EQ(config::GeneralErrorText(""), "");

  RecordingBoxes boxes;
  config::ShowGeneralError(boxes, "x");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "x.");
  EXPECT_EQ(boxes.shown[0].caption, "检测监管数据上传【V2.0.2】");
  EXPECT_EQ(boxes.shown[0].icon, platform::MessageIcon::kError);
}

TEST(QtParts, ScanTimerIsSilentAtIntervalZeroAndReportsErrors) {
  app::QtScanTimer timer;
  EXPECT_EQ(timer.objectName(), "Timer1");
  EXPECT_EQ(timer.Interval(), 10000);
  EXPECT_FALSE(timer.Enabled());
  int fired = 0;
  timer.onTimer = [&] { ++fired; };

  timer.SetInterval(0);
  timer.SetEnabled(true);
  EXPECT_FALSE(timer.Armed());
  QTest::qWait(30);
  EXPECT_EQ(fired, 0);

  timer.SetInterval(5);
  EXPECT_TRUE(timer.Armed());
  QTest::qWait(60);
  EXPECT_GT(fired, 0);

  // Stop's order: interval 0, then disabled; a cycle that enables the timer
  // again at its end leaves it silent.
  timer.SetInterval(0);
  timer.SetEnabled(false);
  timer.SetEnabled(true);
  int before = fired;
  QTest::qWait(30);
  EXPECT_EQ(fired, before);
  EXPECT_FALSE(timer.Armed());

  std::string caught;
  timer.onError = [&](const std::exception& error) { caught = error.what(); };
  timer.onTimer = [&] {
    timer.SetEnabled(false);
    throw Error("boom");
  };
  timer.SetInterval(5);
  QTest::qWait(40);
  EXPECT_EQ(caught, "boom");
}

TEST(QtParts, RealInputBoxAndMessageBox) {
  app::QtInputBoxes inputs;
  QString seenCaption, seenPrompt;
  bool masked = true;
  WhenModalShown([&](QWidget* box) {
    seenCaption = box->windowTitle();
    seenPrompt = box->findChild<QLabel*>()->text();
    auto* field = box->findChild<QLineEdit*>("InputField");
    masked = field->echoMode() != QLineEdit::Normal;
    QTest::keyClicks(field, " 091226");
    QTest::keyClick(field, Qt::Key_Return);
  });
  EXPECT_EQ(inputs.InputBox("数据监管", "请输入密码关闭软件"), " 091226");
  EXPECT_EQ(seenCaption, "数据监管");
  EXPECT_EQ(seenPrompt, "请输入密码关闭软件");
  EXPECT_FALSE(masked);

  WhenModalShown([](QWidget* box) {
    QTest::keyClicks(box->findChild<QLineEdit*>("InputField"), "123");
    QTest::keyClick(box, Qt::Key_Escape);
  });
  EXPECT_EQ(inputs.InputBox("数据监管", "p"), "");

  WhenModalShown([](QWidget* box) {
    auto* field = box->findChild<QLineEdit*>("InputField");
    QTest::keyClicks(field, QString(300, QLatin1Char('7')));
    QTest::keyClick(field, Qt::Key_Enter);
  });
  EXPECT_EQ(inputs.InputBox("数据监管", "p"), std::string(255, '7'));

  app::QtMessageBoxes boxes;
  QString text, caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
  WhenModalShown([&](QWidget* widget) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    ASSERT_NE(box, nullptr);
    text = box->text();
    caption = box->windowTitle();
    icon = box->icon();
    buttons = static_cast<int>(box->buttons().size());
    box->button(QMessageBox::Ok)->click();
  });
  boxes.Show("正在运行状态，不能退出！", "岚秋软件", platform::MessageIcon::kInformation);
  EXPECT_EQ(text, "正在运行状态，不能退出！");
  EXPECT_EQ(caption, "岚秋软件");
  EXPECT_EQ(icon, QMessageBox::Information);
  EXPECT_EQ(buttons, 1);
}

}  // namespace
}  // namespace pelvar::apptest
