// CMainFrame: the command table and the handlers of the plain commands
// (files, clipboard, tree routing, help).
//
// Every command of the main menu is one row of the table in createActions:
// its number, menu text, icon, shortcuts and handler. A command whose row has
// no handler yet is shown but cannot be chosen. Commands that need more than
// a row (mode group, zoom radio group, the toggle actions of the bars) get it
// right after the table.
#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStatusBar>

#include "app/main_frame.h"
#include "app/html_source_edit.h"
#include "app/main_frame_internal.h"
#include "app/project_tree_ctrl.h"
#include "kb/messages.h"
#include "kb/meta.h"
#include "platform/file_util.h"
#include "platform/trace.h"
#include "uikit/about_dialog.h"
#include "uikit/tip_dialog.h"

namespace {

namespace app = velkin::app;
using velkin::platform::trace;
using Command = CMainFrame::Command;

enum CommandFlag : unsigned { kPlain = 0, kCheckable = 1 };

}  // namespace

QAction* CMainFrame::addCommand(Command command, const QString& text, const QString& iconName) {
  auto* action = new QAction(text, this);
  action->setObjectName(QStringLiteral("command%1").arg(static_cast<int>(command)));
  if (!iconName.isEmpty()) action->setIcon(app::frame::icon(iconName));
  addAction(action);
  actions_[command] = action;
  return action;
}

void CMainFrame::createActions() {
  // One row per command. keys: shortcuts in portable text, "; " between
  // them. run: nullptr while the command has no handler.
  struct Row {
    Command command;
    const char* text;
    const char* icon;
    const char* keys;
    void (*run)(CMainFrame&);
    unsigned flags;
  };
  static const Row rows[] = {
      // File
      {Command::New, QT_TR_NOOP("New Page"), nullptr, "Ctrl+N", [](CMainFrame& f) { f.onNew(); }, kPlain},
      {Command::Open, QT_TR_NOOP("Open..."), nullptr, "Ctrl+O", [](CMainFrame& f) { f.onOpen(); }, kPlain},
      {Command::Save, QT_TR_NOOP("Save"), "save", "Ctrl+S", [](CMainFrame& f) { f.onSave(); }, kPlain},
      {Command::SaveAs, QT_TR_NOOP("Save As..."), nullptr, nullptr, [](CMainFrame& f) { f.onSaveAs(); }, kPlain},
      {Command::Print, QT_TR_NOOP("Print..."), "print", "Ctrl+P", [](CMainFrame& f) { f.webView_->onPrint(); },
       kPlain},
      {Command::PrintPreview, QT_TR_NOOP("Print Preview"), nullptr, nullptr,
       [](CMainFrame& f) { f.webView_->onPrintPreview(); }, kPlain},
      {Command::PrintSetup, QT_TR_NOOP("Print Setup..."), nullptr, nullptr,
       [](CMainFrame& f) { f.webView_->onPageSetup(); }, kPlain},
      {Command::SetBookDirectory, QT_TR_NOOP("Set Book Directory"), nullptr, nullptr,
       [](CMainFrame& f) { f.onSetBookDirectory(); }, kPlain},
      {Command::BuildChm, QT_TR_NOOP("Build CHM"), nullptr, nullptr,
       [](CMainFrame& f) {
         if (f.treeShown_) emit f.treeBuildChm();
       },
       kPlain},
      {Command::BuildHtml, QT_TR_NOOP("Build HTML"), nullptr, nullptr,
       [](CMainFrame& f) {
         if (f.treeShown_) emit f.treeBuildHtml();
       },
       kPlain},
      {Command::RecentFile1, "1", nullptr, nullptr, [](CMainFrame& f) { f.openRecentFile(0); }, kPlain},
      {Command::RecentFile2, "2", nullptr, nullptr, [](CMainFrame& f) { f.openRecentFile(1); }, kPlain},
      {Command::RecentFile3, "3", nullptr, nullptr, [](CMainFrame& f) { f.openRecentFile(2); }, kPlain},
      {Command::RecentFile4, "4", nullptr, nullptr, [](CMainFrame& f) { f.openRecentFile(3); }, kPlain},
      {Command::Exit, QT_TR_NOOP("Exit"), nullptr, nullptr, [](CMainFrame& f) { f.close(); }, kPlain},
      // Edit
      {Command::Undo, QT_TR_NOOP("Undo"), nullptr, "Ctrl+Z; Alt+Backspace",
       [](CMainFrame& f) { f.sourceView_ ? f.sourceView_->edit()->undo() : f.webView_->onUndo(); }, kPlain},
      {Command::Redo, QT_TR_NOOP("Redo"), nullptr, nullptr,
       [](CMainFrame& f) { f.sourceView_ ? f.sourceView_->edit()->redo() : f.webView_->onRedo(); }, kPlain},
      {Command::Cut, QT_TR_NOOP("Cut"), nullptr, "Ctrl+X; Shift+Del", [](CMainFrame& f) { f.onCut(); }, kPlain},
      {Command::Copy, QT_TR_NOOP("Copy"), nullptr, "Ctrl+C; Ctrl+Ins", [](CMainFrame& f) { f.onCopy(); }, kPlain},
      {Command::Paste, QT_TR_NOOP("Paste"), nullptr, "Ctrl+V; Shift+Ins", [](CMainFrame& f) { f.onPaste(); }, kPlain},
      {Command::Rename, QT_TR_NOOP("Rename"), nullptr, "F2", [](CMainFrame& f) { f.onRename(); }, kPlain},
      {Command::TreeRefresh, QT_TR_NOOP("Refresh"), nullptr, "F5", [](CMainFrame& f) { f.onTreeRefresh(); }, kPlain},
      // View
      {Command::MyProjects, QT_TR_NOOP("My Projects"), "projects", "Ctrl+M", [](CMainFrame& f) { f.onMyProjects(); },
       kCheckable},
      {Command::StatusBar, QT_TR_NOOP("Status Bar"), nullptr, nullptr,
       [](CMainFrame& f) { f.statusBar()->setVisible(f.action(Command::StatusBar)->isChecked()); }, kCheckable},
      {Command::Customize, QT_TR_NOOP("Customize..."), nullptr, nullptr, [](CMainFrame& f) { f.onCustomize(); },
       kPlain},
      {Command::Browse, QT_TR_NOOP("Browse"), "browse", nullptr, [](CMainFrame& f) { f.onBrowse(); }, kCheckable},
      {Command::Edit, QT_TR_NOOP("Edit"), "edit", nullptr, [](CMainFrame& f) { f.onEdit(); }, kCheckable},
      {Command::EditSource, QT_TR_NOOP("Edit Source"), nullptr, nullptr, [](CMainFrame& f) { f.onEditSource(); },
       kCheckable},
      {Command::Search, QT_TR_NOOP("Search ..."), nullptr, "Ctrl+F", [](CMainFrame& f) { f.onSearch(); }, kPlain},
      {Command::SearchResult, QT_TR_NOOP("Search Result"), nullptr, nullptr, [](CMainFrame& f) { f.onSearchResult(); },
       kCheckable},
      {Command::ShowTag, QT_TR_NOOP("Show Tag"), nullptr, nullptr, [](CMainFrame& f) { f.onShowTag(); }, kCheckable},
      {Command::PromptSaveSource, QT_TR_NOOP("Prompt Save Source"), nullptr, nullptr,
       [](CMainFrame& f) { f.onPromptSaveSource(); }, kCheckable},
      {Command::HideScriptError, QT_TR_NOOP("Hide script error"), nullptr, nullptr,
       [](CMainFrame& f) { f.onHideScriptError(); }, kCheckable},
      // Go
      {Command::GoBack, QT_TR_NOOP("Go back"), "back", nullptr,
       [](CMainFrame& f) { f.leavePageThen([&f] { f.webView_->back(); }); }, kPlain},
      {Command::GoForward, QT_TR_NOOP("Go forward"), "forward", nullptr,
       [](CMainFrame& f) { f.leavePageThen([&f] { f.webView_->forward(); }); }, kPlain},
      {Command::GoHome, QT_TR_NOOP("Go home page"), "home", "Alt+Home",
       [](CMainFrame& f) { f.leavePageThen([&f] { f.webView_->goHome(); }); }, kPlain},
      {Command::Blank, QT_TR_NOOP("about:blank"), nullptr, nullptr,
       [](CMainFrame& f) { f.showAddress(QString::fromLatin1(app::kBlankAddress)); }, kPlain},
      // Esc stops loading from the page and the address bar only (see
      // below), so that it still cancels label editing in the tree.
      {Command::Stop, QT_TR_NOOP("Stop"), "stop", "Esc", [](CMainFrame& f) { f.webView_->stop(); }, kPlain},
      // F5 itself belongs to the routed Refresh above; the menu shows it
      // here, where it reloads the page whenever the browser is the active
      // pane.
      {Command::Refresh, QT_TR_NOOP("Refresh"), "refresh", nullptr,
       [](CMainFrame& f) { f.leavePageThen([&f] { f.webView_->reload(); }); }, kPlain},
      {Command::VisitSite, QT_TR_NOOP("Velkin Web Home Page"), nullptr, nullptr,
       [](CMainFrame& f) { f.showAddress(QString::fromLatin1(velkin::kb::kHomePageAddress)); }, kPlain},
      // Tools and Favorites
      {Command::DefaultBrowser, QT_TR_NOOP("Default Browser"), nullptr, nullptr,
       [](CMainFrame& f) { f.onDefaultBrowser(); }, kCheckable},
      {Command::InternetOption, QT_TR_NOOP("Internet Option"), nullptr, nullptr,
       [](CMainFrame& f) { f.onInternetOption(); }, kPlain},
      {Command::AddToFavorites, QT_TR_NOOP("Add to Favorites..."), nullptr, nullptr,
       [](CMainFrame& f) { f.onAddToFavorites(); }, kPlain},
      {Command::OrganizeFavorites, QT_TR_NOOP("Organize Favorites..."), nullptr, nullptr,
       [](CMainFrame& f) { f.onOrganizeFavorites(); }, kPlain},
      // Help
      {Command::Contents, QT_TR_NOOP("Contents"), nullptr, "F1", [](CMainFrame& f) { f.onContents(); }, kPlain},
      {Command::TipOfTheDay, QT_TR_NOOP("Tip of the day"), nullptr, nullptr, [](CMainFrame& f) { f.onTipOfTheDay(); },
       kPlain},
      {Command::CheckNewVersion, QT_TR_NOOP("Check new version"), nullptr, nullptr,
       [](CMainFrame& f) { f.onCheckNewVersion(); }, kPlain},
      {Command::About, QT_TR_NOOP("About"), nullptr, nullptr, [](CMainFrame& f) { f.onAbout(); }, kPlain},
      // Panes
      {Command::NextPane, QT_TR_NOOP("Next Pane"), nullptr, "F6", [](CMainFrame& f) { f.switchPane(1); }, kPlain},
      {Command::PreviousPane, QT_TR_NOOP("Previous Pane"), nullptr, "Shift+F6", [](CMainFrame& f) { f.switchPane(-1); },
       kPlain},
  };
  for (const Row& row : rows) {
    QAction* command = addCommand(row.command, tr(row.text), row.icon ? QString::fromLatin1(row.icon) : QString());
    if (row.keys) command->setShortcuts(QKeySequence::listFromString(QString::fromLatin1(row.keys)));
    command->setCheckable((row.flags & kCheckable) != 0);
    if (row.run) {
      connect(command, &QAction::triggered, this, [this, run = row.run] { run(*this); });
    } else {
      command->setEnabled(false);
    }
  }

  action(Command::Refresh)->setText(tr("Refresh") + QStringLiteral("\tF5"));
  action(Command::Refresh)->setIconText(tr("Refresh"));
  action(Command::Stop)->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  removeAction(action(Command::Stop));
  webView_->addAction(action(Command::Stop));

  modeGroup_ = new QActionGroup(this);
  for (const Command command : {Command::Browse, Command::Edit, Command::EditSource}) {
    modeGroup_->addAction(action(command));
  }
  createZoomCommands();
}

// ---------------------------------------------------------------- files

void CMainFrame::onSave() {
  const QString refusal = webView_->saveRefusal();
  if (!refusal.isEmpty()) {
    statusBar()->showMessage(refusal, 4000);
    return;
  }
  QPointer<CMainFrame> self(this);
  webView_->save([self](CTkWebView::SaveResult result, const QString& message) {
    if (self) self->reportSave(result, message, SaveRequest::Command);
  });
}

void CMainFrame::onSaveAs() {
  const QString path = seams_.chooseSavePath(webView_->location());
  if (path.isEmpty()) return;
  QPointer<CMainFrame> self(this);
  webView_->saveAs(path, [self](CTkWebView::SaveResult result, const QString& message) {
    if (self) self->reportSave(result, message, SaveRequest::Command);
  });
}

void CMainFrame::onSetBookDirectory() {
  const QString offered = QString::fromStdString(app::bookDirectoryToOffer(registry_));
  const QString chosen = seams_.chooseFolder(offered, offered);
  if (chosen.isEmpty()) return;
  if (!app::storeBookDirectory(registry_, QDir::cleanPath(chosen).toStdString())) {
    seams_.inform(velkin::kb::kCaptionKestrova, tr("The book directory could not be stored."));
    return;
  }
  emit treeRefresh();
  searchBar_->treeCtrl()->onRefresh();
}

// ---------------------------------------------------------------- clipboard

void CMainFrame::onCut() { clipboardCommand("cut", QWebEnginePage::Cut); }

void CMainFrame::onCopy() { clipboardCommand("copy", QWebEnginePage::Copy); }

void CMainFrame::onPaste() { clipboardCommand("paste", QWebEnginePage::Paste); }

void CMainFrame::clipboardCommand(const char* onField, QWebEnginePage::WebAction onPage) {
  QWidget* focus = focusWidget();
  if (qobject_cast<QLineEdit*>(focus) != nullptr || qobject_cast<QPlainTextEdit*>(focus) != nullptr) {
    // Text fields and the source editor have cut, copy and paste slots.
    QMetaObject::invokeMethod(focus, onField);
  } else if (webView_->isAncestorOf(focusWidget()) || focusWidget() == webView_) {
    webView_->triggerPageAction(onPage);
  }
}

// ---------------------------------------------------------------- tree routing

void CMainFrame::onRename() {
  if (CProjectTreeCtrl* search = focusedSearchTree()) {
    search->onRename();
    return;
  }
  if (activePane_ == Pane::Tree && treeShown_) emit treeRename();
}

void CMainFrame::onTreeRefresh() {
  if (CProjectTreeCtrl* search = focusedSearchTree()) {
    search->onRefresh();
    return;
  }
  if (activePane_ == Pane::Tree && treeShown_) {
    emit treeRefresh();
  } else {
    leavePageThen([this] { webView_->reload(); });
  }
}

// ---------------------------------------------------------------- help

void CMainFrame::onContents() {
  const std::string help = seams_.helpBook();
  if (help.empty() || !velkin::platform::isRegularFile(help)) {
    trace("contents", "Contents.chm is not in the share folder");
    statusBar()->showMessage(tr("The help file Contents.chm is not installed."), 4000);
    return;
  }
  seams_.openExternally(QUrl::fromLocalFile(QString::fromStdString(help)));
}

void CMainFrame::onTipOfTheDay() {
  velkin::uikit::CTipDialog dialog(registry_, app::profileSectionKey(app::kTipSection), app::shareFile("tips.txt"),
                                   this);
  dialog.exec();
}

void CMainFrame::onAbout() {
  velkin::uikit::CAboutDialog dialog(this, seams_.openExternally);
  dialog.exec();
}
