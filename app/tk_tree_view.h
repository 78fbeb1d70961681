// CTkTreeView: the left pane of the main window: the caption "Project", a
// close button that asks the frame to hide the pane, and the project tree.
#pragma once

#include <QWidget>

#include "platform/registry.h"

class CProjectTreeCtrl;
class QLabel;
class QToolButton;

class CTkTreeView : public QWidget {
  Q_OBJECT

 public:
  explicit CTkTreeView(velkin::platform::Registry& registry, QWidget* parent = nullptr);
  CProjectTreeCtrl* treeCtrl() const { return tree_; }

 signals:
  void closeClicked();  // the close button (103): the frame hides the pane

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLabel* caption_ = nullptr;
  QToolButton* closeButton_ = nullptr;
  CProjectTreeCtrl* tree_ = nullptr;
};
