// CHtmlSourceEdit: the text control of the HTML source view. It shows the
// page's text in a sans font of 10 points and colours it as it is typed:
// tags dark red, quoted values teal, comments green (source_colouring.h),
// with a context menu of editing commands and a modeless Find dialog.
//
// Colours are kept beside the text, one format per character, and shown as
// the lines' additional formats: they are not part of the text, so they
// never enter the undo history nor mark the text modified. Colouring the
// whole text runs in slices of a few milliseconds from the event loop, so a
// page of megabytes opens without freezing the window; wholeTextColoured
// tells when it is complete. Ten seconds after creation the whole text is
// coloured once more.
//
// Typing follows the typing state (SourceTyping): a typed character takes
// the format the state gives it; an edit inside the text colours the
// caret's line anew. Other insertions (paste, undo) take the format of the
// character before them.
#pragma once

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCharFormat>
#include <QTimer>
#include <optional>
#include <vector>

#include "app/source_colouring.h"
#include "platform/registry.h"

class CFindDialog;
class QMenu;

class CHtmlSourceEdit : public QPlainTextEdit {
  Q_OBJECT

 public:
  // The commands of the context menu, by their numbers.
  enum class Command : int {
    Undo = 32858,
    Cut = 32860,
    Copy = 32861,
    Paste = 32862,
    Delete = 32863,
    Find = 32866,
    Replace = 32864,
    ReplaceAll = 32865,
  };
  static constexpr int kControlId = 110;
  // The one-time colouring of the whole text after creation.
  static constexpr int kRecolourDelayMs = 10000;

  explicit CHtmlSourceEdit(velkin::platform::Registry& registry, QWidget* parent = nullptr);
  ~CHtmlSourceEdit() override;

  // Shows text and colours it; the modified flag and the undo history start
  // afresh.
  void showSource(const QString& text);
  // Colours the whole text, in slices from the event loop; a colouring
  // under way starts again from the top.
  void colourWholeText();
  bool isColouring() const { return colouring_.active; }

  // The format shown at a position of the text.
  velkin::app::SourceFormat formatAt(int position) const;
  static const QTextCharFormat& charFormat(velkin::app::SourceFormat format);

  // The context menu as it is shown now (items enabled by the current
  // state); the caller owns it.
  QMenu* createContextMenu(QWidget* parent);
  // Runs a command of the context menu.
  void runCommand(Command command);

  // The Find dialog, created on first use with the stored options.
  CFindDialog* findDialog();
  void showFindDialog();

 signals:
  void wholeTextColoured();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool event(QEvent* event) override;

 private:
  struct WholeColouring {
    bool active = false;
    int nextBlock = 0;
    velkin::app::CarriedState state;
  };

  void onContentsChange(int position, int removed, int added);
  void colourSlice();
  // The caret's line on its own (an edit inside the text).
  void colourCaretLine();
  void setBlockSpans(const QTextBlock& block, const velkin::app::SourceSpans& spans);
  void fill(int position, int length, velkin::app::SourceFormat format);
  // Shows the formats of the blocks from first to last (inclusive).
  void showFormats(const QTextBlock& first, const QTextBlock& last);
  void keepFormatsInStep();

  velkin::platform::Registry& registry_;
  velkin::app::SourceTyping typing_;
  // One format per position of the document (block ends included).
  std::vector<velkin::app::SourceFormat> formats_;
  std::optional<velkin::app::SourceFormat> typedFormat_;
  WholeColouring colouring_;
  QTimer sliceTimer_;
  QTimer recolourTimer_;
  // Set while the text is replaced or formats are shown: no typing edit.
  bool ignoreChanges_ = false;
  QPointer<CFindDialog> findDialog_;
};
