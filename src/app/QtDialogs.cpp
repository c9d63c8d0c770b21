#include "app/QtDialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace pelvar::app {

void QtMessageBoxes::Show(const std::string& text, const std::string& caption,
                          platform::MessageIcon icon) {
  QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
  if (icon == platform::MessageIcon::kInformation)
    boxIcon = QMessageBox::Information;
  if (icon == platform::MessageIcon::kError)
    boxIcon = QMessageBox::Critical;
  QMessageBox box(boxIcon, QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok);
  box.exec();
}

std::string QtInputBoxes::InputBox(const std::string& caption, const std::string& prompt) {
  QDialog box;
  box.setWindowTitle(QString::fromStdString(caption));
  box.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                     Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

  auto* layout = new QVBoxLayout(&box);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  auto* label = new QLabel(QString::fromStdString(prompt), &box);
  auto* field = new QLineEdit(&box);
  field->setObjectName("InputField");
  field->setMaxLength(255);
  field->setMinimumWidth(240);
  label->setBuddy(field);
  auto* buttons = new QDialogButtonBox(&box);
  QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
  layout->addWidget(label);
  layout->addWidget(field);
  layout->addWidget(buttons);

  // Without a parent the box is centred on the screen.
  if (box.exec() != QDialog::Accepted)
    return std::string();
  return field->text().toStdString();
}

}  // namespace pelvar::app
