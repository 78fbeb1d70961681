#include "app/search_bar.h"

#include "app/project_tree_ctrl.h"

CSearchBar::CSearchBar(velkin::platform::Registry& registry, QWidget* parent) : QDockWidget(tr("Search"), parent) {
  setObjectName(QStringLiteral("SearchBar"));
  setAllowedAreas(Qt::AllDockWidgetAreas);
  velkin::uikit::ProjectTreeOptions options;
  options.remembersSelection = false;
  tree_ = new CProjectTreeCtrl(registry, this, std::move(options));
  tree_->setObjectName(QStringLiteral("searchTree"));
  setWidget(tree_);
}

void CSearchBar::search(const velkin::kb::PageFilter& filter) {
  tree_->model().setFilter(filter);
  tree_->model().refresh();
  show();
}
