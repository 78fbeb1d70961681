#include "app/find_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/source_settings.h"

namespace {

namespace app = velkin::app;

QComboBox* textList(const char* name, const std::vector<std::string>& entries, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setMinimumContentsLength(24);
  for (const std::string& entry : entries) box->addItem(QString::fromStdString(entry));
  box->setEditText({});
  return box;
}

std::vector<std::string> entriesOf(const QComboBox* box) {
  std::vector<std::string> entries;
  const int count = std::min(box->count(), static_cast<int>(app::kMaxFindEntries));
  for (int i = 0; i < count; ++i) entries.push_back(box->itemText(i).toStdString());
  return entries;
}

QPushButton* button(const QString& text, const char* name, QWidget* parent) {
  auto* pushButton = new QPushButton(text, parent);
  pushButton->setObjectName(QString::fromLatin1(name));
  pushButton->setAutoDefault(false);
  return pushButton;
}

}  // namespace

CFindDialog::CFindDialog(velkin::platform::Registry& registry, QPlainTextEdit* editor)
    : QDialog(editor), registry_(registry), editor_(editor) {
  setObjectName(QStringLiteral("findDialog"));
  setWindowTitle(tr("Find"));
  setModal(false);
  const app::FindOptions options = app::readFindOptions(registry_);

  findBox_ = textList("findWhat", options.findTexts, this);
  replaceBox_ = textList("replaceWith", options.replaceTexts, this);
  matchCase_ = new QCheckBox(tr("Match &case"), this);
  matchCase_->setObjectName(QStringLiteral("matchCase"));
  matchCase_->setChecked(options.matchCase);
  matchWord_ = new QCheckBox(tr("Match &whole word only"), this);
  matchWord_->setObjectName(QStringLiteral("matchWord"));
  matchWord_->setChecked(options.matchWord);
  up_ = new QRadioButton(tr("&Up"), this);
  up_->setObjectName(QStringLiteral("up"));
  down_ = new QRadioButton(tr("&Down"), this);
  down_->setObjectName(QStringLiteral("down"));
  (options.up ? up_ : down_)->setChecked(true);

  auto* direction = new QGroupBox(tr("Direction"), this);
  auto* directionLayout = new QHBoxLayout(direction);
  directionLayout->addWidget(up_);
  directionLayout->addWidget(down_);

  auto* fields = new QGridLayout;
  auto* findLabel = new QLabel(tr("Fi&nd what:"), this);
  findLabel->setBuddy(findBox_);
  auto* replaceLabel = new QLabel(tr("Re&place with:"), this);
  replaceLabel->setBuddy(replaceBox_);
  fields->addWidget(findLabel, 0, 0);
  fields->addWidget(findBox_, 0, 1);
  fields->addWidget(replaceLabel, 1, 0);
  fields->addWidget(replaceBox_, 1, 1);
  fields->addWidget(matchCase_, 2, 0, 1, 2);
  fields->addWidget(matchWord_, 3, 0, 1, 2);
  fields->addWidget(direction, 4, 0, 1, 2);

  QPushButton* findNextButton = button(tr("&Find Next"), "findNext", this);
  findNextButton->setDefault(true);
  QPushButton* replaceButton = button(tr("&Replace"), "replace", this);
  QPushButton* replaceAllButton = button(tr("Replace &All"), "replaceAll", this);
  QPushButton* closeButton = button(tr("Close"), "close", this);
  connect(findNextButton, &QPushButton::clicked, this, &CFindDialog::findNext);
  connect(replaceButton, &QPushButton::clicked, this, &CFindDialog::replace);
  connect(replaceAllButton, &QPushButton::clicked, this, &CFindDialog::replaceAll);
  connect(closeButton, &QPushButton::clicked, this, &CFindDialog::closeDialog);
  auto* buttons = new QVBoxLayout;
  for (QPushButton* each : {findNextButton, replaceButton, replaceAllButton, closeButton}) buttons->addWidget(each);
  buttons->addStretch();

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(fields, 1);
  layout->addLayout(buttons);
}

QTextDocument::FindFlags CFindDialog::flags() const {
  QTextDocument::FindFlags flags;
  if (matchCase_->isChecked()) flags |= QTextDocument::FindCaseSensitively;
  if (matchWord_->isChecked()) flags |= QTextDocument::FindWholeWords;
  if (up_->isChecked()) flags |= QTextDocument::FindBackward;
  return flags;
}

int CFindDialog::searchStart(const QString& text) const {
  if (up_->isChecked()) return editor_->textCursor().selectionStart();
  // A text shortened since (undo) leaves no place to go on from.
  const bool goOn = text == lastText_ && resumeAt_ && *resumeAt_ < editor_->document()->characterCount();
  return goOn ? *resumeAt_ : 0;
}

QTextCursor CFindDialog::search(const QString& text) {
  const QTextCursor found = editor_->document()->find(text, searchStart(text), flags());
  lastText_ = text;
  resumeAt_.reset();
  if (!found.isNull()) resumeAt_ = found.selectionEnd();
  return found;
}

void CFindDialog::remember(QComboBox* list, const QString& text) {
  if (text.isEmpty() || list->findText(text, Qt::MatchStartsWith) >= 0) return;
  list->insertItem(0, text);
  list->setEditText(text);
}

bool CFindDialog::findNext() {
  const QString text = findBox_->currentText();
  if (text.isEmpty()) return false;
  remember(findBox_, text);
  const QTextCursor found = search(text);
  if (found.isNull()) return false;
  editor_->setTextCursor(found);
  return true;
}

bool CFindDialog::replace() {
  const QString text = findBox_->currentText();
  const QString replacement = replaceBox_->currentText();
  if (text.isEmpty()) return false;
  remember(findBox_, text);
  remember(replaceBox_, replacement);
  QTextCursor found = search(text);
  if (found.isNull()) return false;
  const int start = found.selectionStart();
  found.insertText(replacement);
  // The replacement is selected; a downward search goes on after it.
  found.setPosition(start);
  found.setPosition(start + static_cast<int>(replacement.size()), QTextCursor::KeepAnchor);
  editor_->setTextCursor(found);
  resumeAt_ = found.selectionEnd();
  return true;
}

int CFindDialog::replaceAll() {
  const QString text = findBox_->currentText();
  const QString replacement = replaceBox_->currentText();
  if (text.isEmpty()) return 0;
  remember(findBox_, text);
  remember(replaceBox_, replacement);
  QTextDocument* document = editor_->document();
  const bool upward = up_->isChecked();
  int from = searchStart(text);
  int count = 0;
  QTextCursor edit(document);
  edit.beginEditBlock();
  for (;;) {
    QTextCursor found = document->find(text, from, flags());
    if (found.isNull()) break;
    const int start = found.selectionStart();
    found.insertText(replacement);
    ++count;
    from = upward ? start : start + static_cast<int>(replacement.size());
  }
  edit.endEditBlock();
  lastText_ = text;
  resumeAt_.reset();
  if (count > 0 && !upward) resumeAt_ = from;
  return count;
}

void CFindDialog::closeDialog() {
  app::FindOptions options;
  options.matchCase = matchCase_->isChecked();
  options.matchWord = matchWord_->isChecked();
  options.up = up_->isChecked();
  options.findTexts = entriesOf(findBox_);
  options.replaceTexts = entriesOf(replaceBox_);
  app::storeFindOptions(registry_, options);
  hide();
}

void CFindDialog::closeEvent(QCloseEvent* event) {
  closeDialog();
  event->accept();
}

void CFindDialog::reject() { closeDialog(); }
