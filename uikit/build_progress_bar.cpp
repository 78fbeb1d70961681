#include "uikit/build_progress_bar.h"

#include <QDataStream>
#include <QFontDatabase>
#include <QIODevice>
#include <QPlainTextEdit>
#include <QScrollBar>

namespace velkin::uikit {
namespace {

constexpr quint32 kStateMagic = 0x56424250;  // "VBBP"
constexpr quint32 kStateVersion = 1;

}  // namespace

CBuildProgressBar::CBuildProgressBar(QWidget* parent) : QDockWidget(tr("Build Progress..."), parent) {
  setObjectName(QStringLiteral("BuildProgress"));
  textBox_ = new QPlainTextEdit(this);
  textBox_->setObjectName(QStringLiteral("buildOutput"));
  textBox_->setReadOnly(true);
  textBox_->setFrameShape(QFrame::StyledPanel);
  textBox_->setFrameShadow(QFrame::Sunken);
  textBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  textBox_->setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
  textBox_->setLineWrapMode(QPlainTextEdit::NoWrap);
  setWidget(textBox_);
}

QString CBuildProgressBar::displayText(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

void CBuildProgressBar::appendChunk(const QString& chunk) {
  text_ += QLatin1Char('\r');
  text_ += chunk;
  textBox_->setPlainText(displayText(text_));
  textBox_->moveCursor(QTextCursor::End);
  textBox_->ensureCursorVisible();
  textBox_->verticalScrollBar()->setValue(textBox_->verticalScrollBar()->maximum());
}

void CBuildProgressBar::clearText() {
  text_.clear();
  textBox_->clear();
}

QByteArray CBuildProgressBar::saveBarState() const {
  QByteArray state;
  QDataStream out(&state, QIODevice::WriteOnly);
  out << kStateMagic << kStateVersion << isFloating() << saveGeometry();
  return state;
}

bool CBuildProgressBar::restoreBarState(const QByteArray& state) {
  QDataStream in(state);
  quint32 magic = 0;
  quint32 version = 0;
  bool floating = false;
  QByteArray geometry;
  in >> magic >> version >> floating >> geometry;
  if (in.status() != QDataStream::Ok || magic != kStateMagic || version != kStateVersion) return false;
  setFloating(floating);
  if (floating) restoreGeometry(geometry);
  return true;
}

}  // namespace velkin::uikit
