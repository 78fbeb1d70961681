// CAboutDialog: the program's About box: name and version, the maker, the
// mail and web addresses as links, and a "Support" button that opens the
// maker's web site. Opening an address goes through the opener given (the
// desktop's default handler unless a caller supplies another).
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

#include "uikit/site_link.h"

class QPushButton;

namespace velkin::uikit {

class CAboutDialog : public QDialog {
  Q_OBJECT

 public:
  using UrlOpener = uikit::UrlOpener;

  // opener: empty for QDesktopServices::openUrl.
  explicit CAboutDialog(QWidget* parent = nullptr, UrlOpener opener = {});

  QPushButton* supportButton() const { return support_; }
  static QUrl supportAddress();
  static QUrl mailAddress();

 private:
  void open(const QUrl& address);

  UrlOpener opener_;
  QPushButton* support_ = nullptr;
};

}  // namespace velkin::uikit
