#include "uikit/site_link.h"

#include <QLabel>

#include "kb/meta.h"

namespace velkin::uikit {

QLabel* makeSiteLink(QWidget* parent) {
  auto* link = new QLabel(parent);
  link->setObjectName(QStringLiteral("siteLink"));
  link->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(QString::fromUtf8(kb::kHomePageAddress)));
  link->setOpenExternalLinks(true);
  return link;
}

}  // namespace velkin::uikit
