#include "config/PelvarSet.h"

#include <QKeyEvent>
#include <QShowEvent>

#include "config/GeneralError.h"
#include "config/PelvarFont.h"
#include "platform/Paths.h"
#include "ui_PelvarSet.h"

namespace pelvar::config {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}
std::string S(const QString& text) {
  return text.toStdString();
}

// Keys that move between controls or close the dialog; they are not typed
// characters, so the digits-only filter lets them through.
bool IsDialogKey(int key) {
  return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape ||
         key == Qt::Key_Tab || key == Qt::Key_Backtab;
}

}  // namespace

TfrmPelvarSet::TfrmPelvarSet(SettingsStore& store, relay::RelayConnection& relay,
                             platform::MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::TfrmPelvarSet>()),
      boxes_(boxes),
      save_(store, relay, boxes) {
  ui_->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(378, 319);

  QFont font = PelvarFont();
  font.setPointSize(9);
  setFont(font);
  for (QWidget* group :
       {static_cast<QWidget*>(ui_->GroupBox1), static_cast<QWidget*>(ui_->GroupBox2)}) {
    group->setStyleSheet(QStringLiteral("QGroupBox::title { color: blue; }"));
  }
  QPalette red = ui_->edtDwbh->palette();
  red.setColor(QPalette::Text, Qt::red);
  ui_->edtDwbh->setPalette(red);

  SetForm(SettingsForm());

  for (QLineEdit* field : {ui_->edtTime, ui_->edtRemortPort, ui_->edtDBPort}) {
    field->installEventFilter(this);
  }
  // activated comes from the operator's pick only, so filling the list from
  // the store proposes no port.
  connect(ui_->cmbDBType, &QComboBox::activated, this, &TfrmPelvarSet::cmbDBTypeChange);
  connect(ui_->btnSet, &QPushButton::clicked, this, &TfrmPelvarSet::btnSetClick);
  connect(ui_->btnExit, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmPelvarSet::~TfrmPelvarSet() = default;

SettingsForm TfrmPelvarSet::Form() const {
  SettingsForm form;
  form.agencyNumber = S(ui_->edtDwbh->text());
  form.remoteHost = S(ui_->edtRemortIP->text());
  form.remotePort = S(ui_->edtRemortPort->text());
  form.scanTime = S(ui_->edtTime->text());
  form.autoStart = ui_->chkAutoStar->isChecked();
  form.autoSend = ui_->chkAutoSend->isChecked();
  form.databaseKind =
      ui_->cmbDBType->currentIndex() < 0 ? std::string() : S(ui_->cmbDBType->currentText());
  form.dbHost = S(ui_->edtDBHost->text());
  form.dbName = S(ui_->edtDBName->text());
  form.dbUser = S(ui_->edtDBUser->text());
  form.dbPasswd = S(ui_->edtDBPasswd->text());
  form.dbPort = S(ui_->edtDBPort->text());
  return form;
}

void TfrmPelvarSet::SetForm(const SettingsForm& form) {
  ui_->edtDwbh->setText(Q(form.agencyNumber));
  ui_->edtRemortIP->setText(Q(form.remoteHost));
  ui_->edtRemortPort->setText(Q(form.remotePort));
  ui_->edtTime->setText(Q(form.scanTime));
  ui_->chkAutoStar->setChecked(form.autoStart);
  ui_->chkAutoSend->setChecked(form.autoSend);
  std::string entry = DatabaseKindEntry(form.databaseKind);
  ui_->cmbDBType->setCurrentIndex(entry.empty() ? -1 : ui_->cmbDBType->findText(Q(entry)));
  ui_->edtDBHost->setText(Q(form.dbHost));
  ui_->edtDBName->setText(Q(form.dbName));
  ui_->edtDBUser->setText(Q(form.dbUser));
  ui_->edtDBPasswd->setText(Q(form.dbPasswd));
  ui_->edtDBPort->setText(Q(form.dbPort));
}

void TfrmPelvarSet::ShowError(const std::exception& error) {
  ShowGeneralError(boxes_, error.what());
}

void TfrmPelvarSet::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous())
    FormShow();
}

void TfrmPelvarSet::FormShow() {
  // Each field takes its value right after the read: when a read fails the
  // fields before it show the stored values and the later ones keep theirs.
  SettingsForm form = Form();
  try {
    save_.Load(form);
  } catch (const std::exception& error) {
    SetForm(form);
    ShowError(error);
    return;
  }
  SetForm(form);
}

void TfrmPelvarSet::btnSetClick() {
  try {
    if (save_.Save(Form(), platform::ExecutablePath()) != SaveResult::kRefused)
      accept();
  } catch (const std::exception& error) {
    ShowError(error);
  }
}

void TfrmPelvarSet::cmbDBTypeChange(int index) {
  ui_->edtDBPort->setText(Q(ProposedDatabasePort(S(ui_->cmbDBType->itemText(index)))));
}

bool TfrmPelvarSet::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const QString typed = key->text();
    if (!typed.isEmpty() && !IsDialogKey(key->key())) {
      for (QChar c : typed) {
        bool passes = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('\b');
        if (!passes)
          return true;  // discarded
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace pelvar::config
