#include "uikit/message_box.h"

namespace velkin::uikit {

void showInformation(QWidget* parent, const char* caption, const std::string& text) {
  QMessageBox::information(parent, QString::fromUtf8(caption), QString::fromStdString(text));
}

bool askYesNo(QWidget* parent, const char* caption, const std::string& text) {
  return QMessageBox::question(parent, QString::fromUtf8(caption), QString::fromStdString(text),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace velkin::uikit
