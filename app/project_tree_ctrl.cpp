// Placeholder listing only; the full control replaces this file.
#include "app/project_tree_ctrl.h"

CProjectTreeCtrl::CProjectTreeCtrl(velkin::platform::Registry& registry, QWidget* parent)
    : QTreeWidget(parent), registry_(registry) {
  setHeaderHidden(true);
  model_ = std::make_unique<velkin::kb::ProjectTree>(registry_);
  model_->fill();
  rebuild();
}

CProjectTreeCtrl::~CProjectTreeCtrl() = default;

void CProjectTreeCtrl::rebuild() {
  clear();
  auto* root = new QTreeWidgetItem(this, {QString::fromStdString(model_->root()->text)});
  addItems(root, *model_->root());
  root->setExpanded(true);
}

void CProjectTreeCtrl::addItems(QTreeWidgetItem* parent, const velkin::kb::TreeItem& item) {
  for (const auto& child : item.children) {
    auto* widgetItem = new QTreeWidgetItem(parent, {QString::fromStdString(child->text)});
    addItems(widgetItem, *child);
  }
}

void CProjectTreeCtrl::onOpen() {}
void CProjectTreeCtrl::onEditWithDefaultEditor() {}
void CProjectTreeCtrl::onOpenUrl() {}
void CProjectTreeCtrl::onNewCategory() {}
void CProjectTreeCtrl::onDelete() {}
void CProjectTreeCtrl::onRename() {}
void CProjectTreeCtrl::onBuildChm() {}
void CProjectTreeCtrl::onBuildHtml() {}
void CProjectTreeCtrl::onRefresh() { model_->refresh(); rebuild(); }
