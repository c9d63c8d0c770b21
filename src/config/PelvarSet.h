#pragma once

#include <QDialog>
#include <memory>
#include <stdexcept>

#include "config/SettingsSave.h"
#include "platform/MessageBox.h"

namespace Ui {
class TfrmPelvarSet;
}

namespace pelvar::relay {
class RelayConnection;
}

namespace pelvar::config {

// The settings dialog frmPelvarSet: created once, hidden, and reused for
// every opening. Opening fills the fields from the store; "设置" validates
// and saves through SettingsSave; "退出" and the close box save nothing.
// Borrows the store, the relay connection (for the check; safe only while
// uploading is stopped) and the boxes. Errors that escape a handler are
// shown in the general error box and the dialog stays open.
class TfrmPelvarSet : public QDialog {
  Q_OBJECT

 public:
  TfrmPelvarSet(SettingsStore& store, relay::RelayConnection& relay, platform::MessageBoxes& boxes,
                QWidget* parent = nullptr);
  ~TfrmPelvarSet() override;

  // What the fields hold now, and putting a form into them.
  SettingsForm Form() const;
  void SetForm(const SettingsForm& form);

  // Handlers, public so that tests can drive them.
  void FormShow();
  void btnSetClick();
  void cmbDBTypeChange(int index);

 protected:
  void showEvent(QShowEvent* event) override;
  // edtTimeKeyPress for edtTime, edtRemortPort and edtDBPort.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowError(const std::exception& error);

  std::unique_ptr<Ui::TfrmPelvarSet> ui_;
  platform::MessageBoxes& boxes_;
  SettingsSave save_;
};

}  // namespace pelvar::config
