#include "uikit/site_link.h"

#include <QDesktopServices>
#include <QHBoxLayout>
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

QWidget* makeLinkAndButtons(QWidget* buttons, QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(makeSiteLink(row));
  layout->addStretch(1);
  buttons->setParent(row);
  layout->addWidget(buttons);
  return row;
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
