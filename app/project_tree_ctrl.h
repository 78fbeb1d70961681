// CProjectTreeCtrl: the project tree as a Qt tree widget over the toolkit-free
// model kb::ProjectTree. It mirrors the model's items, offers the "TreeMenu"
// context menu, label editing for New Category and Rename, drag-moves, drops
// from outside (files, web content, text) and the book builds. It asks the
// main frame to show pages through openPage (WM_OPENPAGE) and forwards the
// compiler's output through buildOutput (WM_BUILDOUTPUT). UI thread only.
#pragma once

#include <QTreeWidget>
#include <memory>

#include "kb/project_tree.h"
#include "platform/registry.h"

class CProjectTreeCtrl : public QTreeWidget {
  Q_OBJECT

 public:
  explicit CProjectTreeCtrl(velkin::platform::Registry& registry, QWidget* parent = nullptr);
  ~CProjectTreeCtrl() override;

  velkin::kb::ProjectTree& model() { return *model_; }

 public slots:
  // The commands of the context menu; the main frame forwards some of them.
  void onOpen();
  void onEditWithDefaultEditor();
  void onOpenUrl();
  void onNewCategory();
  void onDelete();
  void onRename();
  void onBuildChm();
  void onBuildHtml();
  void onRefresh();

 signals:
  void openPage(const QString& pathOrUrl);          // WM_OPENPAGE
  void buildOutput(int kind, const QString& text);  // WM_BUILDOUTPUT: 1 title, 2 output, 3 error

 private:
  void rebuild();
  void addItems(QTreeWidgetItem* parent, const velkin::kb::TreeItem& item);

  velkin::platform::Registry& registry_;
  std::unique_ptr<velkin::kb::ProjectTree> model_;
};
