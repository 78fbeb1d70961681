#include "uikit/dialog_header.h"

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

namespace velkin::uikit {

QWidget* makeDialogHeader(const QString& title, const QString& subtitle, QWidget* parent) {
  auto* band = new QWidget(parent);
  band->setObjectName(QStringLiteral("dialogHeader"));
  band->setAutoFillBackground(true);
  QPalette palette = band->palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::WindowText, Qt::black);
  band->setPalette(palette);

  auto* logo = new QLabel(band);
  QIcon icon = QApplication::windowIcon();
  if (icon.isNull()) icon = band->style()->standardIcon(QStyle::SP_DesktopIcon);
  logo->setPixmap(icon.pixmap(kDialogHeaderLogoSize, kDialogHeaderLogoSize));
  auto* titleLabel = new QLabel(title, band);
  titleLabel->setObjectName(QStringLiteral("headerTitle"));
  QFont bold = titleLabel->font();
  bold.setBold(true);
  titleLabel->setFont(bold);
  auto* subtitleLabel = new QLabel(subtitle, band);
  subtitleLabel->setObjectName(QStringLiteral("headerSubtitle"));

  auto* lines = new QVBoxLayout;
  lines->addStretch();
  lines->addWidget(titleLabel);
  lines->addWidget(subtitleLabel);
  lines->addStretch();
  auto* layout = new QHBoxLayout(band);
  layout->setContentsMargins(8, 4, 8, 4);
  layout->addWidget(logo);
  layout->addLayout(lines, 1);
  return band;
}

QFrame* makeEtchedLine(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

void layOutWithHeader(QDialog* dialog, const QString& title, const QString& subtitle, QLayout* body,
                      QWidget* buttons) {
  body->setContentsMargins(12, 8, 12, 8);
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(0, 0, 0, 8);
  layout->addWidget(makeDialogHeader(title, subtitle, dialog));
  layout->addWidget(makeEtchedLine(dialog));
  layout->addLayout(body);
  layout->addStretch();
  layout->addWidget(makeEtchedLine(dialog));
  auto* buttonRow = new QHBoxLayout;
  buttonRow->setContentsMargins(12, 0, 12, 0);
  buttonRow->addWidget(buttons);
  layout->addLayout(buttonRow);
}

}  // namespace velkin::uikit
