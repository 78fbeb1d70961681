// The Flash part's About box: the product line, what the part is for, and
// links to the maker's support site and mail address, opened through the
// opener given (the desktop's handler unless a caller supplies another).
#pragma once

#include <QDialog>

#include "uikit/about_dialog.h"

class QLabel;

namespace velkin::flash::ui {

inline constexpr char kAboutVersionLine[] = "Velkin Web for Flash 1.0(Build 428)";
inline constexpr char kAboutText[] =
    "Do you ever have received the flash e-card from your friends?\n"
    "Do you often find some good flashs and play interactive game made by flash?\n\n"
    "But you do not know how to save them. Now, Velkin Web for Flash will help you realize your mind.";

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  using UrlOpener = uikit::CAboutDialog::UrlOpener;

  explicit AboutDialog(QWidget* parent = nullptr, UrlOpener opener = {});

  QLabel* siteLink() const { return site_; }
  QLabel* mailLink() const { return mail_; }

 private:
  void open(const QUrl& address);

  UrlOpener opener_;
  QLabel* site_ = nullptr;
  QLabel* mail_ = nullptr;
};

}  // namespace velkin::flash::ui
