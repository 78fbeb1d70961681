#include "app/project_tree_ctrl.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QProcess>
#include <cstdlib>

#include "app/book_dialog.h"
#include "book/chm_build.h"
#include "book/html_index.h"
#include "kb/messages.h"
#include "platform/console_runner.h"
#include "platform/trace.h"
#include "uikit/busy_cursor.h"

using velkin::kb::ItemKind;
using velkin::kb::TreeItem;

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

struct CommandEntry {
  CProjectTreeCtrl::Command command;
  const char* text;
  const char* objectName;
  void (CProjectTreeCtrl::*slot)();
  Qt::Key shortcut;
  bool separatorAfter;
};

constexpr CommandEntry kCommands[] = {
    {CProjectTreeCtrl::Command::Open, "Open", "open", &CProjectTreeCtrl::onOpen, Qt::Key_unknown, false},
    {CProjectTreeCtrl::Command::Edit, "Edit with default editor", "edit", &CProjectTreeCtrl::onEditWithDefaultEditor,
     Qt::Key_unknown, false},
    {CProjectTreeCtrl::Command::OpenUrl, "Open URL", "openUrl", &CProjectTreeCtrl::onOpenUrl, Qt::Key_unknown, true},
    {CProjectTreeCtrl::Command::NewCategory, "New Category", "newCategory", &CProjectTreeCtrl::onNewCategory,
     Qt::Key_unknown, false},
    {CProjectTreeCtrl::Command::Delete, "Delete", "delete", &CProjectTreeCtrl::onDelete, Qt::Key_unknown, false},
    {CProjectTreeCtrl::Command::Rename, "Rename", "rename", &CProjectTreeCtrl::onRename, Qt::Key_F2, true},
    {CProjectTreeCtrl::Command::BuildChm, "Build CHM", "buildChm", &CProjectTreeCtrl::onBuildChm, Qt::Key_unknown,
     false},
    {CProjectTreeCtrl::Command::BuildHtml, "Build HTML", "buildHtml", &CProjectTreeCtrl::onBuildHtml,
     Qt::Key_unknown, true},
    {CProjectTreeCtrl::Command::Refresh, "Refresh", "refresh", &CProjectTreeCtrl::onRefresh, Qt::Key_F5, false},
};
static_assert(std::size(kCommands) == CProjectTreeCtrl::kCommandCount);

}  // namespace

CProjectTreeCtrl::CProjectTreeCtrl(velkin::platform::Registry& registry, QWidget* parent,
                                   velkin::uikit::ProjectTreeOptions options)
    : ProjectTreeView(registry, std::move(options), parent) {
  commandSeams_.askBookSettings = [this](const std::string& title,
                                         const std::string& folder) -> std::optional<velkin::book::BookSettings> {
    velkin::app::BookDialog dialog(this->registry(), title, folder, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.settings();
  };
  commandSeams_.startDetached = [](const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
  };
}

CProjectTreeCtrl::~CProjectTreeCtrl() {
  // A build's last messages reach nobody: the window is going.
  blockSignals(true);
  buildSession_.reset();
}

void CProjectTreeCtrl::setSeams(Seams seams) {
  if (seams.askBookSettings) commandSeams_.askBookSettings = std::move(seams.askBookSettings);
  if (seams.startDetached) commandSeams_.startDetached = std::move(seams.startDetached);
  setViewSeams(std::move(seams));
}

// ---------------------------------------------------------------------------
// Context menu and keys

bool CProjectTreeCtrl::commandEnabled(Command command, const TreeItem* item) {
  if (item == nullptr) return command == Command::Refresh;
  switch (item->kind) {
    case ItemKind::Root:
      return command != Command::Open && command != Command::Edit && command != Command::OpenUrl &&
             command != Command::Delete && command != Command::Rename;
    case ItemKind::Category:
      return command != Command::Open && command != Command::Edit && command != Command::OpenUrl;
    case ItemKind::Page:
    case ItemKind::HtmlPage:
      return command != Command::NewCategory && command != Command::Rename;
  }
  return false;
}

std::unique_ptr<QMenu> CProjectTreeCtrl::createTreeMenu(const TreeItem* item, QWidget* parent) {
  auto menu = std::make_unique<QMenu>(parent);
  menu->setObjectName(QStringLiteral("TreeMenu"));
  for (const CommandEntry& entry : kCommands) {
    QAction* action = menu->addAction(tr(entry.text));
    action->setObjectName(QString::fromLatin1(entry.objectName));
    if (entry.shortcut != Qt::Key_unknown) action->setShortcut(QKeySequence(entry.shortcut));
    action->setShortcutContext(Qt::WidgetShortcut);
    action->setEnabled(commandEnabled(entry.command, item));
    connect(action, &QAction::triggered, this, entry.slot);
    if (entry.separatorAfter) menu->addSeparator();
  }
  return menu;
}

void CProjectTreeCtrl::contextMenuEvent(QContextMenuEvent* event) {
  QTreeWidgetItem* widget = itemAt(viewport()->mapFromGlobal(event->globalPos()));
  if (widget != nullptr && widget != currentItem()) setCurrentItem(widget);
  const std::unique_ptr<QMenu> menu = createTreeMenu(modelItem(widget), this);
  menu->exec(event->globalPos());
}

void CProjectTreeCtrl::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_F2) {
    onRename();
    return;
  }
  if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_F5) {
    onRefresh();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------------------
// Commands

void CProjectTreeCtrl::onOpen() {
  if (const TreeItem* page = selectedPage()) emit openPage(qs(model().pathOf(page)));
}

void CProjectTreeCtrl::onEditWithDefaultEditor() {
  const TreeItem* page = selectedPage();
  if (page == nullptr) return;
  const QString path = qs(model().pathOf(page));
  // The user's editor ($VISUAL, with its own arguments), else the desktop's
  // handler for the file.
  const char* visual = std::getenv("VISUAL");
  if (visual != nullptr && *visual != '\0') {
    const auto words = velkin::platform::ConsoleRunner::splitCommandLine(visual);
    if (!words.empty()) {
      QStringList arguments;
      for (size_t i = 1; i < words.size(); ++i) arguments << qs(words[i]);
      arguments << path;
      if (commandSeams_.startDetached(qs(words.front()), arguments)) return;
      velkin::platform::trace("edit", "cannot start the editor " + std::string(visual));
    }
  }
  if (!commandSeams_.startDetached(QStringLiteral("xdg-open"), {path})) {
    velkin::platform::trace("edit", "cannot start xdg-open for " + path.toStdString());
  }
}

void CProjectTreeCtrl::onOpenUrl() {
  const TreeItem* page = selectedPage();
  if (page == nullptr) return;
  const std::string address = model().pageAddress(page);
  if (!address.empty()) emit openPage(qs(address));
}

void CProjectTreeCtrl::onNewCategory() {
  TreeItem* parent = selectedItem();
  if (parent == nullptr || parent->isPage() || labelEditing()) return;
  const velkin::kb::TreeOutcome outcome = model().newCategory(parent);
  if (!outcome.message.empty()) inform(outcome.message);
  startPendingEdit();
}

void CProjectTreeCtrl::onDelete() {
  const TreeItem* item = selectedItem();
  if (item == nullptr || item->kind == ItemKind::Root) return;
  const std::string path = model().pathOf(item);
  if (!viewSeams().prompts.question(this, velkin::kb::kCaptionKestrova, velkin::kb::kDeleteQuestion)) return;
  // The question let events run: find the item again by its path.
  TreeItem* target = itemAtPath(path);
  if (target == nullptr || target->kind == ItemKind::Root) return;
  model().remove(target);
}

void CProjectTreeCtrl::onRename() {
  TreeItem* item = selectedItem();
  if (item != nullptr && item->kind == ItemKind::Category) startLabelEdit(item);
}

void CProjectTreeCtrl::onRefresh() { model().refresh(); }

// ---------------------------------------------------------------------------
// Builds

bool CProjectTreeCtrl::isBuilding() const { return buildSession_ != nullptr && buildSession_->isBuilding(); }

void CProjectTreeCtrl::postStdioCommand(int code, const QString& text) {
  ensureBuildSession();
  buildSession_->postCommand(code, text.toStdString());
}

void CProjectTreeCtrl::ensureBuildSession() {
  if (buildSession_) return;
  buildSession_ = std::make_unique<velkin::book::ChmBuildSession>(
      [this](Task task) { postToUi(std::move(task)); },
      [this](int kind, const std::string& text) { emit buildOutput(kind, QString::fromStdString(text)); },
      [this](const velkin::book::BuildResult& result) { buildEnded(result); });
}

void CProjectTreeCtrl::buildEnded(const velkin::book::BuildResult& result) {
  emit buildFinished(result.bookWritten, qs(result.outputPath));
}

void CProjectTreeCtrl::onBuildChm() {
  const TreeItem* item = selectedItem();
  if (item == nullptr || item->isPage()) {
    inform(velkin::book::kSelectFolderMessage);
    return;
  }
  const std::string folder = model().pathOf(item);
  const auto settings = commandSeams_.askBookSettings(item->text, folder);
  if (!settings) return;
  ensureBuildSession();
  const std::string error = buildSession_->build(folder, *settings, model().filter());
  if (!error.empty()) inform(error);
}

bool CProjectTreeCtrl::openExternally(const QString& path) {
  return commandSeams_.startDetached(QStringLiteral("xdg-open"), {path});
}

void CProjectTreeCtrl::onBuildHtml() {
  const TreeItem* item = selectedItem();
  if (item == nullptr) return;
  velkin::book::IndexOutcome outcome;
  {
    const velkin::uikit::BusyCursor busy;
    outcome = velkin::book::buildHtmlIndex(model().pathOf(item));
  }
  if (!outcome.ok()) {
    velkin::platform::trace("build html", outcome.error);
    inform(outcome.error);
    return;
  }
  // The index opens in the desktop's browser; without one, in ours.
  if (!openExternally(qs(outcome.path))) emit openPage(qs(outcome.path));
}
