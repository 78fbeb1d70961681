#include "flash/ui/about_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "flash/model/messages.h"
#include "uikit/dialog_header.h"
#include "uikit/site_link.h"

namespace velkin::flash::ui {

AboutDialog::AboutDialog(QWidget* parent, UrlOpener opener) : QDialog(parent), opener_(std::move(opener)) {
  setWindowTitle(tr("About"));
  setObjectName(QStringLiteral("flashAboutDialog"));
  auto* version = new QLabel(QString::fromLatin1(kAboutVersionLine), this);
  version->setObjectName(QStringLiteral("versionLine"));
  auto* text = new QLabel(QString::fromLatin1(kAboutText), this);
  text->setObjectName(QStringLiteral("aboutText"));
  text->setWordWrap(true);

  const QUrl site = uikit::CAboutDialog::supportAddress();
  const QUrl mail = uikit::CAboutDialog::mailAddress();
  site_ = uikit::makeLinkLabel(site, site.toString(), this);
  mail_ = uikit::makeLinkLabel(mail, mail.path(), this);
  for (QLabel* link : {site_, mail_}) {
    connect(link, &QLabel::linkActivated, this, [this](const QString& address) { open(QUrl(address)); });
  }
  auto* links = new QFormLayout;
  links->addRow(tr("Support Site:"), site_);
  links->addRow(tr("Support Email:"), mail_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* body = new QVBoxLayout;
  body->addWidget(version);
  body->addSpacing(6);
  body->addWidget(text);
  body->addSpacing(6);
  body->addLayout(links);
  uikit::layOutWithHeader(this, QString::fromLatin1(kCaptionFlash), tr("About"), body, buttons);
}

void AboutDialog::open(const QUrl& address) { uikit::openLink(opener_, address); }

}  // namespace velkin::flash::ui
