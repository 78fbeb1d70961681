#include "flash/ui/folder_tree_view.h"

#include <QContextMenuEvent>
#include <QMenu>

#include "flash/model/messages.h"
#include "flash/ui/about_dialog.h"
#include "flash/ui/flash_help.h"
#include "flash/ui/options_dialog.h"

namespace velkin::flash::ui {
namespace {

struct MenuEntry {
  const char* name;
  const char* text;
};

// The context menu in its order; nullptr names stand for separators.
constexpr MenuEntry kMenuEntries[] = {
    {FolderTreeView::kNewFolder, "&New Folder"}, {FolderTreeView::kSave, "&Save"},
    {FolderTreeView::kOptions, "&Options"},      {nullptr, nullptr},
    {FolderTreeView::kRename, "&Rename"},        {FolderTreeView::kDelete, "&Delete"},
    {FolderTreeView::kRefresh, "Re&fresh"},      {nullptr, nullptr},
    {FolderTreeView::kHelp, "&Help"},            {FolderTreeView::kAbout, "&About"},
};

}  // namespace

FolderTreeView::FolderTreeView(platform::Registry& registry, Options options, QWidget* parent)
    : TreeMirrorView(parent), registry_(registry) {
  setObjectName(QStringLiteral("flashFolderTree"));
  setDefaultSeams();
  FolderTree::Options modelOptions;
  modelOptions.rootFolder = std::move(options.rootFolder);
  modelOptions.showFiles = options.showFiles;
  if (options.watch) {
    modelOptions.post = [this](Task task) {
      postToUi([this, task = std::move(task)] { runWatcherTask(task); });
    };
  }
  model_ = std::make_unique<FolderTree>(registry_, std::move(modelOptions));
  model_->setObserver(this);
  model_->fill();
}

FolderTreeView::~FolderTreeView() {
  // Nothing may reach the model while the widget items go.
  detachFromModel();
  model_->setObserver(nullptr);
  model_.reset();
}

void FolderTreeView::setDefaultSeams() {
  seams_.runOptions = [this](QWidget* parent) {
    OptionsDialog::Seams dialogSeams;
    dialogSeams.prompts = seams_.prompts;
    OptionsDialog dialog(registry_, dialogSeams, parent);
    return dialog.exec() == QDialog::Accepted;
  };
  seams_.openHelp = [this](QWidget* parent) { ui::openHelp(parent, seams_.prompts); };
  seams_.showAbout = [](QWidget* parent) {
    AboutDialog dialog(parent);
    dialog.exec();
  };
}

void FolderTreeView::setViewSeams(Seams seams) {
  seams_.prompts.replaceWith(std::move(seams.prompts));
  if (seams.runOptions) seams_.runOptions = std::move(seams.runOptions);
  if (seams.openHelp) seams_.openHelp = std::move(seams.openHelp);
  if (seams.showAbout) seams_.showAbout = std::move(seams.showAbout);
}

void FolderTreeView::inform(const std::string& text) { seams_.prompts.information(this, kCaptionFlash, text); }

// A refusal comes with its message; an internal failure with its reason.
void FolderTreeView::tellFailure(const kb::TreeOutcome& outcome) {
  if (outcome.ok) return;
  if (!outcome.message.empty()) {
    inform(outcome.message);
  } else if (!outcome.error.empty()) {
    inform(outcome.error);
  }
}

QString FolderTreeView::selectedPath() const { return QString::fromStdString(model_->selectedPath()); }

QString FolderTreeView::selectedFolder() const { return QString::fromStdString(model_->selectedFolder()); }

void FolderTreeView::selectionChanged(kb::TreeItem* item) {
  TreeMirrorView::selectionChanged(item);
  if (item == nullptr) return;
  emit selectedFolderChanged(QString::fromStdString(model_->folderOf(item)));
  if (const auto movie = model_->movieToPlay(item)) emit playMovie(QString::fromStdString(*movie));
}

// ---------------------------------------------------------------------------
// Commands

void FolderTreeView::newFolder() {
  if (labelEditing()) return;
  tellFailure(model_->newFolder());
  startPendingEdit();
}

void FolderTreeView::renameSelected() {
  kb::TreeItem* item = model_->selected();
  if (item != nullptr && item->kind != kb::ItemKind::Root) startLabelEdit(item);
}

void FolderTreeView::deleteSelected() {
  kb::TreeItem* item = model_->selected();
  if (item == nullptr || item->kind == kb::ItemKind::Root) return;
  tellFailure(model_->remove(item));
}

void FolderTreeView::refresh() { model_->refresh(); }

void FolderTreeView::options() {
  if (seams_.runOptions(this)) refresh();
}

std::unique_ptr<QMenu> FolderTreeView::createContextMenu(kb::TreeItem* hit) {
  const MenuState state = model_->menuFor(hit);
  if (!state.offered) return nullptr;
  auto menu = std::make_unique<QMenu>(this);
  const std::function<void()> commands[] = {
      [this] { newFolder(); },      [this] { emit saveRequested(); }, [this] { options(); }, {},
      [this] { renameSelected(); }, [this] { deleteSelected(); },     [this] { refresh(); }, {},
      [this] { seams_.openHelp(this); }, [this] { seams_.showAbout(this); },
  };
  static_assert(std::size(commands) == std::size(kMenuEntries));
  for (size_t i = 0; i < std::size(kMenuEntries); ++i) {
    const MenuEntry& entry = kMenuEntries[i];
    if (entry.name == nullptr) {
      menu->addSeparator();
      continue;
    }
    QAction* action = menu->addAction(tr(entry.text), this, commands[i]);
    action->setObjectName(QString::fromLatin1(entry.name));
  }
  const auto enable = [&menu](const char* name, bool enabled) {
    menu->findChild<QAction*>(QString::fromLatin1(name))->setEnabled(enabled);
  };
  enable(kNewFolder, state.newFolder);
  enable(kRename, state.rename);
  enable(kDelete, state.remove);
  return menu;
}

// A click on an item selects it first; the menu then acts on the selection.
void FolderTreeView::contextMenuEvent(QContextMenuEvent* event) {
  if (!model_->showsFiles()) return;
  kb::TreeItem* hit = modelItem(itemAt(event->pos()));
  if (hit != nullptr) model_->select(hit);
  if (const std::unique_ptr<QMenu> menu = createContextMenu(hit)) menu->exec(event->globalPos());
  event->accept();
}

}  // namespace velkin::flash::ui
