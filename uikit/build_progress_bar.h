// CBuildProgressBar: the docking bar titled "Build Progress..." that shows
// what a book build prints. It keeps the whole output as received: each
// append adds a carriage return and then the chunk. The read-only text box
// shows every carriage return (alone or before a line feed) as one line
// break, always has its vertical scroll bar and keeps the last line in view.
#pragma once

#include <QByteArray>
#include <QDockWidget>
#include <QString>

class QPlainTextEdit;

namespace velkin::uikit {

class CBuildProgressBar : public QDockWidget {
  Q_OBJECT

 public:
  explicit CBuildProgressBar(QWidget* parent = nullptr);

  // Adds "\r" and chunk to the text, shows the whole and scrolls to its end.
  void appendChunk(const QString& chunk);
  void clearText();
  // Everything appended so far, as received.
  const QString& text() const { return text_; }
  QPlainTextEdit* textBox() const { return textBox_; }

  // The bar's own record (floating or docked, and its floating geometry),
  // kept in the profile section "BuildProgress".
  QByteArray saveBarState() const;
  bool restoreBarState(const QByteArray& state);

  // The text as shown: carriage returns become line breaks.
  static QString displayText(const QString& text);

 private:
  QPlainTextEdit* textBox_ = nullptr;
  QString text_;
};

}  // namespace velkin::uikit
