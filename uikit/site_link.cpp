#include "uikit/site_link.h"

#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

#include "kb/meta.h"

namespace velkin::uikit {

QLabel* makeSiteLink(QWidget* parent) {
  auto* link = new QLabel(parent);
  link->setObjectName(QStringLiteral("siteLink"));
  link->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(QString::fromUtf8(kb::kHomePageAddress)));
  link->setOpenExternalLinks(true);
  return link;
}

QLabel* makeLinkLabel(const QUrl& address, const QString& text, QWidget* parent) {
  auto* label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>")
                               .arg(address.toString(QUrl::FullyEncoded).toHtmlEscaped(), text.toHtmlEscaped()),
                           parent);
  label->setTextFormat(Qt::RichText);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  label->setOpenExternalLinks(false);
  label->setToolTip(address.toString());
  return label;
}

void openLink(const UrlOpener& opener, const QUrl& address) {
  if (opener) {
    opener(address);
  } else {
    QDesktopServices::openUrl(address);
  }
}

}  // namespace velkin::uikit
