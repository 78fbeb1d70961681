#include "uikit/build_progress_bar.h"

#include <QDataStream>
#include <QFontDatabase>
#include <QIODevice>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

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
  // Read-only output needs no undo history (it would keep a second copy).
  textBox_->setUndoRedoEnabled(false);
  setWidget(textBox_);
  // Runs once the output records waiting in the event queue are all in.
  showTimer_.setSingleShot(true);
  showTimer_.setInterval(0);
  connect(&showTimer_, &QTimer::timeout, this, [this] { showPending(); });
}

QString CBuildProgressBar::displayText(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

// Every append starts with a carriage return, which never pairs with what
// came before it, so the text already shown stays as it is: only the added
// part is converted, and later inserted at the end of the box.
void CBuildProgressBar::appendChunk(const QString& chunk) {
  QString added;
  added.reserve(chunk.size() + 1);
  added += QLatin1Char('\r');
  added += chunk;
  text_ += added;
  pending_ += displayText(added);
  if (!showTimer_.isActive()) showTimer_.start();
}

QPlainTextEdit* CBuildProgressBar::textBox() const {
  showPending();
  return textBox_;
}

// A cursor of its own does the insert, so a selection the user made in the
// box survives it.
void CBuildProgressBar::showPending() const {
  if (pending_.isEmpty()) return;
  QTextCursor end(textBox_->document());
  end.movePosition(QTextCursor::End);
  end.insertText(pending_);
  pending_.clear();
  textBox_->verticalScrollBar()->setValue(textBox_->verticalScrollBar()->maximum());
}

void CBuildProgressBar::clearText() {
  text_.clear();
  pending_.clear();
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
