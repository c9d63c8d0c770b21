#include "app/PelvarMain.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include "app/Pictures.h"
#include "config/GeneralError.h"
#include "config/PelvarFont.h"
#include "config/SettingsStore.h"
#include "console/Guards.h"
#include "text/Regional.h"
#include "ui_PelvarMain.h"

namespace pelvar::app {
namespace {

const QColor kNavy(0x00, 0x00, 0x80);
const QColor kGreen(0x00, 0x80, 0x00);

// A hidden widget keeps its resize event pending until it is first shown, so
// nested layouts (and the log view's viewport) would keep their default
// sizes. Delivering the events now sizes every child as showing would.
void DeliverPendingResizes(QWidget* widget) {
  if (widget->testAttribute(Qt::WA_PendingResizeEvent)) {
    widget->setAttribute(Qt::WA_PendingResizeEvent, false);
    QResizeEvent resize(widget->size(), QSize());
    QCoreApplication::sendEvent(widget, &resize);
  }
  for (QObject* child : widget->children()) {
    auto* childWidget = qobject_cast<QWidget*>(child);
    if (childWidget != nullptr && !childWidget->isWindow())
      DeliverPendingResizes(childWidget);
  }
}

void SetTextColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(role, colour);
  widget->setPalette(palette);
}

}  // namespace

TfrmPelvarMain::TfrmPelvarMain(platform::MessageBoxes& boxes, console::InputBoxes& inputBoxes,
                               QWidget* parent)
    : QWidget(parent),
      ui_(std::make_unique<Ui::TfrmPelvarMain>()),
      boxes_(boxes),
      inputBoxes_(inputBoxes) {
  ui_->setupUi(this);
  move(512, 15);
  setWindowIcon(ProgramIcon());
  ApplyLook();

  ui_->igGray->setPixmap(GrayLamp());
  ui_->igGreen->setPixmap(GreenLamp());
  ui_->igRed->setPixmap(RedLamp());
  SetLight(upload::Light::kRelayDatabase, upload::LightColour::kGray);
  SetLight(upload::Light::kConnection, upload::LightColour::kGray);
  SetRemainingTimeVisible(false);
  ui_->memoLog->setUndoRedoEnabled(false);

  timer1_ = new QtScanTimer(this);
  timer1_->onError = [this](const std::exception& error) { ShowError(error); };

  BuildTray();

  connect(ui_->btnSet, &QPushButton::clicked, this, &TfrmPelvarMain::btnSetClick);
  connect(ui_->btnRun, &QPushButton::clicked, this, &TfrmPelvarMain::btnRunClick);
  connect(ui_->btnStop, &QPushButton::clicked, this, &TfrmPelvarMain::btnStopClick);
  connect(ui_->btnExit, &QPushButton::clicked, this, &TfrmPelvarMain::btnExitClick);

#ifndef QT_NO_SESSIONMANAGER
  if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    connect(application, &QGuiApplication::commitDataRequest, this,
            &TfrmPelvarMain::CommitDataRequest, Qt::DirectConnection);
  }
#endif

  // Lay the widgets out now: the log's line count depends on the log view's
  // width, also while the window has never been shown.
  layout()->activate();
  DeliverPendingResizes(this);
}

TfrmPelvarMain::~TfrmPelvarMain() {
  ManageTrayIcon(false);
}

void TfrmPelvarMain::ApplyLook() {
  QFont base = config::PelvarFont();
  base.setPixelSize(12);
  setFont(base);

  ui_->Panel2->setBackgroundRole(QPalette::Window);
  SetTextColour(ui_->Panel2, QPalette::Window, Qt::white);

  QFont heading = base;
  heading.setBold(true);
  heading.setPixelSize(14);
  ui_->Label3->setFont(heading);
  ui_->Label3->adjustSize();
  ui_->Label4->adjustSize();

  QFont header = base;
  header.setPixelSize(16);
  ui_->Label2->setFont(header);
  SetTextColour(ui_->Label2, QPalette::WindowText, Qt::blue);
  ui_->Label2->resize(ui_->Label2->width(), QFontMetrics(header).height());

  for (QLabel* label : {ui_->Label1, ui_->Label6}) {
    SetTextColour(label, QPalette::WindowText, Qt::black);
    label->adjustSize();
  }
  ui_->imgOk->setPixmap(DecorationPixmap());

  QFont counter = base;
  counter.setBold(true);
  counter.setPixelSize(14);
  for (QLineEdit* field : {ui_->leSendCount, ui_->leWtRemainTime}) {
    field->setFont(counter);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    palette.setColor(QPalette::Text, field == ui_->leSendCount ? kNavy : kGreen);
    field->setPalette(palette);
  }
  PlaceCaptionLabels();

  ui_->btnSet->setIcon(SettingsButtonIcon());
  ui_->btnRun->setIcon(RunButtonIcon());
  ui_->btnStop->setIcon(StopButtonIcon());
  ui_->btnExit->setIcon(ExitButtonIcon());
}

void TfrmPelvarMain::PlaceCaptionLabels() {
  // A caption label sits 3 pixels left of its field, centred on its height.
  auto place = [](QLabel* label, QLineEdit* field) {
    label->adjustSize();
    label->move(field->x() - 3 - label->width(),
                field->y() + (field->height() - label->height()) / 2);
  };
  place(ui_->leSendCountLabel, ui_->leSendCount);
  place(ui_->leWtRemainTimeLabel, ui_->leWtRemainTime);
}

void TfrmPelvarMain::BuildTray() {
  popupMenu_ = new QMenu(this);
  popupMenu_->setObjectName("PopupMenu");
  popMenuStar_ = popupMenu_->addAction("执行", this, &TfrmPelvarMain::btnRunClick);
  popMenuStar_->setObjectName("popMenuStar");
  popMenuStop_ = popupMenu_->addAction("停止", this, &TfrmPelvarMain::btnStopClick);
  popMenuStop_->setObjectName("popMenuStop");
  popMenuStop_->setEnabled(false);
  popupMenu_->addSeparator()->setObjectName("N3");
  popupMenu_->addAction("设置", this, &TfrmPelvarMain::btnSetClick)->setObjectName("popMenuSet");
  popupMenu_->addAction("打开", this, &TfrmPelvarMain::popMenuShowClick)
      ->setObjectName("popMenuShow");
  popupMenu_->addAction("退出", this, &TfrmPelvarMain::btnExitClick)->setObjectName("popMenuExit");

  trayIcon_ = new QSystemTrayIcon(ProgramIcon(), this);
  trayIcon_->setObjectName("TrayIcon");
  trayIcon_->setToolTip(config::kApplicationTitle);
  // The menu is not the icon's own context menu: it opens only here, at the
  // cursor, on a right click.
  connect(trayIcon_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger) {
              popMenuShowClick();
            } else if (reason == QSystemTrayIcon::Context) {
              // The popup grabs the mouse itself, so a click elsewhere closes
              // it; a visible window is brought forward as well.
              if (isVisible())
                activateWindow();
              popupMenu_->popup(QCursor::pos());
            }
          });
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
    setWindowTitle(config::kApplicationTitle);
    ManageTrayIcon(true);
    SetRunning(false);
    if (readAutoSendFlag && readAutoSendFlag() && onRun)
      onRun();
  });
}

void TfrmPelvarMain::ManageTrayIcon(bool add) {
  // Where the desktop has no notification area this does nothing visible,
  // and the program runs on without its icon.
  trayIcon_->setVisible(add);
}

bool TfrmPelvarMain::IsRunning() const {
  return ui_->btnStop->isEnabled();
}

void TfrmPelvarMain::SetRunning(bool running) {
  ui_->btnStop->setEnabled(running);
  popMenuStop_->setEnabled(running);
  ui_->btnRun->setEnabled(!running);
  popMenuStar_->setEnabled(!running);
  UpdateTrayToolTip();
}

void TfrmPelvarMain::UpdateTrayToolTip() {
  trayIcon_->setToolTip(
      QString::fromStdString(alerts_.Tooltip(config::kApplicationTitle, IsRunning())));
}

void TfrmPelvarMain::CycleFinished(const upload::CycleOutcome& outcome) {
  std::optional<std::string> balloon = alerts_.Observe(outcome);
  UpdateTrayToolTip();
  if (balloon && (!notifyEnabled || notifyEnabled())) {
    trayIcon_->showMessage(config::kApplicationTitle, QString::fromStdString(*balloon),
                           QSystemTrayIcon::Warning);
  }
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
      close();
  });
}

void TfrmPelvarMain::popMenuShowClick() {
  show();
}

bool TfrmPelvarMain::FormCloseQuery() {
  return console::CloseCheck(inputBoxes_);
}

void TfrmPelvarMain::closeEvent(QCloseEvent* event) {
  bool allowed = false;
  Guarded([&] { allowed = FormCloseQuery(); });
  if (!allowed) {
    event->ignore();
    return;
  }
  event->accept();
  emit Closed();
}

void TfrmPelvarMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Minimising only hides the window: it goes back to its normal state and
  // lives on in the tray. Done after the state change has been handled.
  if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
    QMetaObject::invokeMethod(this, &TfrmPelvarMain::HideToTray, Qt::QueuedConnection);
  }
}

void TfrmPelvarMain::HideToTray() {
  setWindowState(windowState() & ~Qt::WindowMinimized);
  ManageTrayIcon(true);
  hide();
}

void TfrmPelvarMain::CommitDataRequest([[maybe_unused]] QSessionManager& manager) {
#ifndef QT_NO_SESSIONMANAGER
  // The end of the logon session is a close request like any other: a wrong
  // or cancelled password refuses it.
  if (!manager.allowsInteraction())
    return;
  bool allowed = false;
  Guarded([&] { allowed = FormCloseQuery(); });
  if (allowed) {
    manager.release();
  } else {
    manager.cancel();
  }
#endif
}

void TfrmPelvarMain::AppendLogLine(const std::string& text) {
  QString line = QString::fromStdString(text);
  line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  line.replace(QLatin1Char('\r'), QLatin1Char('\n'));

  QScrollBar* scrollBar = ui_->memoLog->verticalScrollBar();
  bool atBottom = scrollBar->value() >= scrollBar->maximum();
  QTextCursor cursor(ui_->memoLog->document());
  cursor.movePosition(QTextCursor::End);
  // A text holding line breaks becomes several lines; the document's first
  // block is the first line once anything was appended, even an empty line.
  for (const QString& part : line.split(QLatin1Char('\n'))) {
    if (logHasLines_)
      cursor.insertBlock();
    cursor.insertText(part);
    logHasLines_ = true;
  }
  if (atBottom)
    scrollBar->setValue(scrollBar->maximum());
}

void TfrmPelvarMain::ClearLog() {
  ui_->memoLog->clear();
  logHasLines_ = false;
}

qreal TfrmPelvarMain::LogTextWidth() const {
  // As the view's own document layout computes it.
  const QPlainTextEdit* memo = ui_->memoLog;
  return memo->viewport()->width() - 2 * memo->document()->documentMargin();
}

int TfrmPelvarMain::LogLineCount() {
  if (!logHasLines_)
    return 0;
  // Every line is laid out as the view lays it out, so a wrapped line counts
  // once per displayed row whether or not the window is showing.
  const QTextDocument* document = ui_->memoLog->document();
  const QTextOption option = document->defaultTextOption();
  const QFont font = ui_->memoLog->font();
  const qreal width = LogTextWidth();
  int count = 0;
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    QTextLayout layout(block.text(), font);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine row = layout.createLine(); row.isValid(); row = layout.createLine()) {
      row.setLineWidth(width);
      ++count;
    }
    layout.endLayout();
  }
  return count;
}

void TfrmPelvarMain::SetLight(upload::Light light, upload::LightColour colour) {
  QLabel* target = light == upload::Light::kRelayDatabase ? ui_->igDbStatus : ui_->igConnectStatus;
  QLabel* holder = ui_->igGray;
  if (colour == upload::LightColour::kGreen)
    holder = ui_->igGreen;
  if (colour == upload::LightColour::kRed)
    holder = ui_->igRed;
  target->setPixmap(holder->pixmap());
}

void TfrmPelvarMain::RaiseSentCounter() {
  // The field's text is the counter's only store.
  std::int64_t count = text::ParseInteger(ui_->leSendCount->text().toStdString());
  ui_->leSendCount->setText(QString::number(count + 1));
}

void TfrmPelvarMain::ShowRemainingTime(int seconds) {
  ui_->leWtRemainTime->setText(QString::number(seconds));
}

void TfrmPelvarMain::SetRemainingTimeVisible(bool visible) {
  ui_->leWtRemainTime->setVisible(visible);
  ui_->leWtRemainTimeLabel->setVisible(visible);
}

void TfrmPelvarMain::SetHeaderLabel(const std::string& text) {
  ui_->Label2->setText(QString::fromStdString(text));
}

}  // namespace pelvar::app
