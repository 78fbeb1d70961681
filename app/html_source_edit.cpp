#include "app/html_source_edit.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <string_view>

#include "app/find_dialog.h"

namespace {

using velkin::app::SourceFormat;
using velkin::app::SourceSpans;
using velkin::app::SourceTyping;

// How long one slice of the whole-text colouring works before the event
// loop runs again.
constexpr qint64 kSliceMs = 8;
constexpr int kBlocksBetweenClockReads = 32;

std::u16string_view textOf(const QString& text) {
  return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

QTextCharFormat colouredFormat(int red, int green, int blue) {
  QTextCharFormat format;
  format.setForeground(QColor(red, green, blue));
  return format;
}

}  // namespace

CHtmlSourceEdit::CHtmlSourceEdit(velkin::platform::Registry& registry, QWidget* parent)
    : QPlainTextEdit(parent), registry_(registry) {
  setObjectName(QStringLiteral("sourceEdit"));
  QFont font(QStringLiteral("Sans Serif"), 10);
  font.setStyleHint(QFont::SansSerif);
  setFont(font);
  // The normal format is black on white, whatever the desktop's colours.
  QPalette colours = palette();
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Text, charFormat(SourceFormat::Normal).foreground().color());
  setPalette(colours);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setTabChangesFocus(false);
  setFocusPolicy(Qt::StrongFocus);

  formats_.assign(static_cast<std::size_t>(document()->characterCount()), SourceFormat::Normal);
  connect(document(), &QTextDocument::contentsChange, this, &CHtmlSourceEdit::onContentsChange);

  sliceTimer_.setSingleShot(true);
  sliceTimer_.setInterval(0);
  connect(&sliceTimer_, &QTimer::timeout, this, &CHtmlSourceEdit::colourSlice);
  recolourTimer_.setSingleShot(true);
  recolourTimer_.setInterval(kRecolourDelayMs);
  connect(&recolourTimer_, &QTimer::timeout, this, &CHtmlSourceEdit::colourWholeText);
  recolourTimer_.start();
}

CHtmlSourceEdit::~CHtmlSourceEdit() = default;

const QTextCharFormat& CHtmlSourceEdit::charFormat(SourceFormat format) {
  static const QTextCharFormat formats[] = {colouredFormat(0, 0, 0), colouredFormat(128, 0, 0),
                                            colouredFormat(0, 128, 128), colouredFormat(0, 128, 0)};
  return formats[static_cast<int>(format)];
}

void CHtmlSourceEdit::showSource(const QString& text) {
  ignoreChanges_ = true;
  setPlainText(text);
  ignoreChanges_ = false;
  formats_.assign(static_cast<std::size_t>(document()->characterCount()), SourceFormat::Normal);
  typing_ = SourceTyping();
  document()->setModified(false);
  colourWholeText();
}

SourceFormat CHtmlSourceEdit::formatAt(int position) const {
  if (position < 0 || position >= static_cast<int>(formats_.size())) return SourceFormat::Normal;
  return formats_[static_cast<std::size_t>(position)];
}

// ---------------------------------------------------------------- colouring

void CHtmlSourceEdit::fill(int position, int length, SourceFormat format) {
  const int size = static_cast<int>(formats_.size());
  const int start = std::clamp(position, 0, size);
  const int end = std::clamp(position + length, start, size);
  std::fill(formats_.begin() + start, formats_.begin() + end, format);
}

void CHtmlSourceEdit::setBlockSpans(const QTextBlock& block, const SourceSpans& spans) {
  const int base = block.position();
  for (const auto& span : spans) fill(base + span.start, span.length, span.format);
}

void CHtmlSourceEdit::showFormats(const QTextBlock& first, const QTextBlock& last) {
  if (!first.isValid() || !last.isValid()) return;
  for (QTextBlock block = first; block.isValid(); block = block.next()) {
    QList<QTextLayout::FormatRange> ranges;
    const int base = block.position();
    const int length = std::min(block.length() - 1, static_cast<int>(formats_.size()) - base);
    for (int start = 0; start < length;) {
      const SourceFormat format = formats_[static_cast<std::size_t>(base + start)];
      int end = start + 1;
      while (end < length && formats_[static_cast<std::size_t>(base + end)] == format) ++end;
      // Normal is the control's own text colour.
      if (format != SourceFormat::Normal) ranges.append({start, end - start, charFormat(format)});
      start = end;
    }
    QTextLayout* layout = block.layout();
    if (!ranges.isEmpty() || !layout->formats().isEmpty()) layout->setFormats(ranges);
    if (block == last) break;
  }
  // Only the look changes: that is no edit of the text.
  const bool ignoring = ignoreChanges_;
  ignoreChanges_ = true;
  document()->markContentsDirty(first.position(), last.position() + last.length() - first.position());
  ignoreChanges_ = ignoring;
}

void CHtmlSourceEdit::colourWholeText() {
  colouring_ = WholeColouring{true, 0, {}};
  sliceTimer_.start();
}

void CHtmlSourceEdit::colourSlice() {
  if (!colouring_.active) return;
  QElapsedTimer clock;
  clock.start();
  QTextBlock block = document()->findBlockByNumber(colouring_.nextBlock);
  while (block.isValid() && clock.elapsed() < kSliceMs) {
    // A few lines at a time are coloured and shown, between looks at the clock.
    const QTextBlock first = block;
    QTextBlock last = block;
    for (int count = 0; block.isValid() && count < kBlocksBetweenClockReads; ++count) {
      fill(block.position(), block.length() - 1, SourceFormat::Normal);
      setBlockSpans(block, velkin::app::carriedLineSpans(textOf(block.text()), colouring_.state));
      last = block;
      block = block.next();
    }
    showFormats(first, last);
  }
  if (block.isValid()) {
    colouring_.nextBlock = block.blockNumber();
    sliceTimer_.start();
    return;
  }
  colouring_.active = false;
  emit wholeTextColoured();
}

void CHtmlSourceEdit::colourCaretLine() {
  const QTextBlock block = textCursor().block();
  const SourceSpans spans = velkin::app::lineSpans(textOf(block.text()));
  if (spans.empty()) return;
  setBlockSpans(block, spans);
  showFormats(block, block);
}

void CHtmlSourceEdit::onContentsChange(int position, int removed, int added) {
  if (ignoreChanges_) return;
  const int size = static_cast<int>(formats_.size());
  const int start = std::clamp(position, 0, size);
  const int end = std::clamp(position + removed, start, size);
  const SourceFormat format = typedFormat_.value_or(formatAt(start - 1));
  formats_.erase(formats_.begin() + start, formats_.begin() + end);
  formats_.insert(formats_.begin() + start, static_cast<std::size_t>(std::max(added, 0)), format);
  keepFormatsInStep();
  showFormats(document()->findBlock(start), document()->findBlock(start + std::max(added, 0)));
  if (typing_.lineDirty()) colourCaretLine();
  // A whole-text colouring under way starts again over the changed text.
  if (colouring_.active) colourWholeText();
}

void CHtmlSourceEdit::keepFormatsInStep() {
  const auto count = static_cast<std::size_t>(document()->characterCount());
  if (formats_.size() != count) formats_.resize(count, SourceFormat::Normal);
}

// ---------------------------------------------------------------- typing

void CHtmlSourceEdit::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Find)) {
    showFindDialog();
    return;
  }
  const QTextCursor cursor = textCursor();
  const bool atEnd = !cursor.hasSelection() && cursor.position() == document()->characterCount() - 1;
  std::optional<SourceTyping::Effect> effect;
  const QString text = event->text();
  if (event->key() == Qt::Key_Backspace) {
    effect = typing_.type(u'\b', atEnd, SourceTyping::Key::Backspace);
  } else if (event->key() == Qt::Key_Delete) {
    effect = typing_.type(u'\x7f', atEnd, SourceTyping::Key::Delete);
  } else if (text.size() == 1 && (text[0] >= QLatin1Char(' ') || text[0] == QLatin1Char('\r') ||
                                  text[0] == QLatin1Char('\t'))) {
    effect = typing_.type(text[0].unicode(), atEnd);
  }
  if (effect && effect->colourOpeningAsComment) {
    const int position = cursor.position();
    const int start = std::max(0, position - 3);
    fill(start, position - start, SourceFormat::Comment);
    showFormats(document()->findBlock(start), cursor.block());
  }
  if (effect) typedFormat_ = effect->insertionFormat;
  QPlainTextEdit::keyPressEvent(event);
  typedFormat_.reset();
}

bool CHtmlSourceEdit::event(QEvent* event) {
  // Ctrl+F finds in the text, rather than reaching the window's command.
  if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Find)) {
    event->accept();
    return true;
  }
  return QPlainTextEdit::event(event);
}

// ---------------------------------------------------------------- commands

QMenu* CHtmlSourceEdit::createContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  const auto add = [this, menu](Command command, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QStringLiteral("command%1").arg(static_cast<int>(command)));
    connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
    return action;
  };
  add(Command::Undo, tr("Undo\tCtrl+Z"))->setEnabled(document()->isUndoAvailable());
  add(Command::Cut, tr("Cut\tCtrl+X"));
  add(Command::Copy, tr("Copy\tCtrl+C"));
  add(Command::Paste, tr("Paste\tCtrl+V"))->setEnabled(canPaste());
  add(Command::Delete, tr("Delete"));
  menu->addSeparator();
  add(Command::Find, tr("Find\tCtrl+F"));
  add(Command::Replace, tr("Replace"));
  add(Command::ReplaceAll, tr("Replace All"));
  return menu;
}

void CHtmlSourceEdit::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createContextMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

void CHtmlSourceEdit::runCommand(Command command) {
  switch (command) {
    case Command::Undo:
      if (document()->isUndoAvailable()) undo();
      break;
    case Command::Cut:
      cut();
      break;
    case Command::Copy:
      copy();
      break;
    case Command::Paste:
      if (canPaste()) paste();
      break;
    case Command::Delete:
      textCursor().removeSelectedText();
      break;
    case Command::Find:
    case Command::Replace:
    case Command::ReplaceAll:
      showFindDialog();
      break;
  }
}

CFindDialog* CHtmlSourceEdit::findDialog() {
  if (!findDialog_) findDialog_ = new CFindDialog(registry_, this);
  return findDialog_;
}

void CHtmlSourceEdit::showFindDialog() {
  CFindDialog* dialog = findDialog();
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}
