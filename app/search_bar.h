// CSearchBar: the docking bar "Search" of the main window. It holds a second
// project tree, the same control as the main one with all its commands
// (open, edit, delete, rename, build), which lists the whole category
// structure but only the pages that pass the last search's filter. The tree
// starts without a filter and keeps each filter until the next search; it
// refreshes itself on changes of the book directory like the main tree,
// filter kept. It neither restores nor remembers a selection: that place
// belongs to the main tree.
#pragma once

#include <QDockWidget>

#include "kb/page_filter.h"
#include "platform/registry.h"

class CProjectTreeCtrl;

class CSearchBar : public QDockWidget {
  Q_OBJECT

 public:
  explicit CSearchBar(velkin::platform::Registry& registry, QWidget* parent = nullptr);

  CProjectTreeCtrl* treeCtrl() const { return tree_; }

  // Sets the tree's filter, fills the tree again from the book directory
  // and shows the bar.
  void search(const velkin::kb::PageFilter& filter);

 private:
  CProjectTreeCtrl* tree_ = nullptr;
};
