// CMainFrame: the search bar and its commands (Search ..., Search Result),
// and the new-version check.
//
// The search bar docks on the right and starts hidden. Its tree is a second
// project tree control: it shows pages through the frame and reports builds
// to the build progress bar as the main tree does, and the frame's Rename
// and Refresh reach it while it has the focus.
#include <QAction>

#include "app/check_version_dialog.h"
#include "app/main_frame.h"
#include "app/project_tree_ctrl.h"

using Command = CMainFrame::Command;

void CMainFrame::createSearchBar() {
  searchBar_ = new CSearchBar(registry_, this);
  addDockWidget(Qt::RightDockWidgetArea, searchBar_);
  searchBar_->hide();
  CProjectTreeCtrl* tree = searchBar_->treeCtrl();
  connect(tree, &CProjectTreeCtrl::openPage, this, &CMainFrame::onOpenPage);
  connect(tree, &CProjectTreeCtrl::buildOutput, this, &CMainFrame::onBuildOutput);
  tree->setDropSourceAddress([this] { return webView_->location(); });
  // The check mark follows the bar, also when its own close button hides it.
  // Only the bar and the action are touched: the bar is also hidden while
  // the frame is being destroyed.
  QAction* shown = action(Command::SearchResult);
  CSearchBar* bar = searchBar_;
  connect(bar, &QDockWidget::visibilityChanged, shown, [bar, shown] { shown->setChecked(!bar->isHidden()); });
}

CProjectTreeCtrl* CMainFrame::focusedSearchTree() const {
  CProjectTreeCtrl* tree = searchBar_->treeCtrl();
  return tree->hasFocus() ? tree : nullptr;
}

void CMainFrame::onSearch() {
  const std::optional<velkin::kb::PageFilter> filter = seams_.askSearch();
  if (filter) searchBar_->search(*filter);
  updateCommandStates();
}

void CMainFrame::onSearchResult() {
  searchBar_->setVisible(searchBar_->isHidden());
  updateCommandStates();
}

void CMainFrame::onCheckNewVersion() {
  CCheckVersionDialog dialog(registry_, this);
  dialog.exec();
}
