// CBuildProgressBar: the docking bar titled "Build Progress..." that shows
// what a book build prints. It keeps the whole output as received: each
// append adds a carriage return and then the chunk. The read-only text box
// shows every carriage return (alone or before a line feed) as one line
// break, always has its vertical scroll bar and keeps the last line in view.
//
// Appending costs the size of the chunk, however long the output is. The
// chunks of one burst (all the output records waiting in the event queue)
// reach the text box together, when the event loop next runs or when the
// box is asked for, so the box lays out the lines it shows, not every line
// of a burst on its way through. UI thread only.
#pragma once

#include <QByteArray>
#include <QDockWidget>
#include <QString>
#include <QTimer>

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
  // The text box, showing everything appended so far.
  QPlainTextEdit* textBox() const;

  // The bar's own record (floating or docked, and its floating geometry),
  // kept in the profile section "BuildProgress".
  QByteArray saveBarState() const;
  bool restoreBarState(const QByteArray& state);

  // The text as shown: carriage returns become line breaks.
  static QString displayText(const QString& text);

 private:
  // Puts the text appended since the last time into the box.
  void showPending() const;

  QPlainTextEdit* textBox_ = nullptr;
  QString text_;
  // Appended but not in the box yet, already as shown; showPending() moves
  // it there, also from the const textBox().
  mutable QString pending_;
  QTimer showTimer_;
};

}  // namespace velkin::uikit
