// CProjectTreeCtrl: the main program's project tree: the shared tree view
// (uikit::ProjectTreeView: listing, selection, drag-moves and drops) with
// the main program's commands around it: the "TreeMenu" context menu, label
// editing for New Category and Rename, opening and editing pages, deleting,
// and the book builds. It asks the main frame to show pages through openPage
// (WM_OPENPAGE) and forwards the compiler's output through buildOutput
// (WM_BUILDOUTPUT). UI thread only.
//
// What the commands ask of their surroundings (the book dialog, starting
// outside programs) goes through Seams beside the view's own, which default
// to the program's dialogs; tests replace them.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "book/book_settings.h"
#include "platform/registry.h"
#include "uikit/project_tree_view.h"

class QMenu;

namespace velkin::book {
class ChmBuildSession;
struct BuildResult;
}  // namespace velkin::book

class CProjectTreeCtrl : public velkin::uikit::ProjectTreeView {
  Q_OBJECT

 public:
  struct Seams : velkin::uikit::ProjectTreeView::Seams {
    // The book dialog, with the book title and the category's folder;
    // nullopt for Cancel.
    std::function<std::optional<velkin::book::BookSettings>(const std::string& title, const std::string& folder)>
        askBookSettings;
    // Starts a program without waiting for it; false when it cannot start.
    std::function<bool(const QString& program, const QStringList& arguments)> startDetached;
  };

  // The commands of the context menu, in menu order.
  enum class Command { Open, Edit, OpenUrl, NewCategory, Delete, Rename, BuildChm, BuildHtml, Refresh };
  static constexpr int kCommandCount = 9;

  // options dress the shared view (the search bar's tree keeps no
  // remembered selection).
  explicit CProjectTreeCtrl(velkin::platform::Registry& registry, QWidget* parent = nullptr,
                            velkin::uikit::ProjectTreeOptions options = {});
  // Stops a running build; the view then lets the model write SelectedFolder.
  ~CProjectTreeCtrl() override;

  // Replaces the seams that are set in seams; unset ones keep their defaults.
  void setSeams(Seams seams);

  // Whether each command is enabled when the menu is opened on item
  // (nullptr: on empty space).
  static bool commandEnabled(Command command, const velkin::kb::TreeItem* item);
  // The context menu "TreeMenu" as a right-click on item opens it; its
  // actions run the commands on the selected item.
  std::unique_ptr<QMenu> createTreeMenu(const velkin::kb::TreeItem* item, QWidget* parent = nullptr);

  bool isBuilding() const;
  // Posts a command to the build's console runner (WMSTDIOCOMMAND): start
  // a script, its end, or input for it (platform::StdioCommand codes).
  void postStdioCommand(int code, const QString& text);

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
  void buildOutput(int kind, const QString& text);  // WM_BUILDOUTPUT: 1 title, 2 output, 3 error
  void buildFinished(bool bookWritten, const QString& outputPath);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct CommandSeams {
    decltype(Seams::askBookSettings) askBookSettings;
    decltype(Seams::startDetached) startDetached;
  };

  void ensureBuildSession();
  void buildEnded(const velkin::book::BuildResult& result);
  bool openExternally(const QString& path);

  CommandSeams commandSeams_;
  std::unique_ptr<velkin::book::ChmBuildSession> buildSession_;
};
