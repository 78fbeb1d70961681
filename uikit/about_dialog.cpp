#include "uikit/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "kb/meta.h"
#include "uikit/site_link.h"
#include "velkin/product.h"

namespace velkin::uikit {
namespace {

constexpr char kMailAddress[] = "support@velkinweb.example";

}  // namespace

QUrl CAboutDialog::supportAddress() { return QUrl(QString::fromLatin1(kb::kHomePageAddress)); }

QUrl CAboutDialog::mailAddress() { return QUrl(QStringLiteral("mailto:") + QString::fromLatin1(kMailAddress)); }

CAboutDialog::CAboutDialog(QWidget* parent, UrlOpener opener) : QDialog(parent), opener_(std::move(opener)) {
  setWindowTitle(tr("About Velkin Web"));
  auto* icon = new QLabel(this);
  icon->setPixmap(windowIcon().pixmap(48, 48));
  icon->setAlignment(Qt::AlignTop);

  auto* name = new QLabel(QString::fromLatin1(product::kNameAndVersion), this);
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);
  auto* maker = new QLabel(tr("Copyright (C) Marrowind Software"), this);
  auto* mail = makeLinkLabel(mailAddress(), QString::fromLatin1(kMailAddress), this);
  auto* web = makeLinkLabel(supportAddress(), QString::fromLatin1(kb::kHomePageAddress), this);
  connect(mail, &QLabel::linkActivated, this, [this](const QString& link) { open(QUrl(link)); });
  connect(web, &QLabel::linkActivated, this, [this](const QString& link) { open(QUrl(link)); });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  support_ = buttons->addButton(tr("Support"), QDialogButtonBox::ActionRole);
  connect(support_, &QPushButton::clicked, this, [this] { open(supportAddress()); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* text = new QVBoxLayout;
  text->addWidget(name);
  text->addWidget(maker);
  text->addSpacing(8);
  text->addWidget(mail);
  text->addWidget(web);
  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addLayout(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(buttons);
}

void CAboutDialog::open(const QUrl& address) { openLink(opener_, address); }

}  // namespace velkin::uikit
