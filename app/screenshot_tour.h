// CScreenshotTour: the pictures of kestrova's --screenshot=DIR mode. Once
// the main window shows its first page, it takes one shot after another
// from a table, each a small function that sets the scene, waits for it to
// paint and saves a PNG into the folder:
//
//   main_window        the window with the project tree's categories open
//   tree_context_menu  the tree's context menu over the window (and
//                      tree_context_menu_only, the menu alone)
//   save_dialog        the New File save dialog
//   edit_source        Edit Source on the shown page (selected in the tree),
//                      once its whole text is coloured
//   find_dialog        the Find dialog over it, the page's title searched
//                      for and its first match selected
//   search_options     Search Options filled in: the page address contains
//                      the host of the shown page's recorded address
//   search_result      the search bar after that search, the shown page
//                      selected in its tree
//   check_version      Check new version after one check of the update
//                      server (UpdateServer, see version_check.h)
//
// A shot whose scene cannot be set (no page shown, nothing found) still
// saves what is on screen, so a picture never goes missing silently; each
// saved or failed file is printed as a line. finished() follows the last.
#pragma once

#include <QObject>
#include <QPixmap>
#include <QString>
#include <cstddef>
#include <functional>

#include "platform/registry.h"

class CMainFrame;
class CProjectTreeCtrl;
class QWidget;

class CScreenshotTour : public QObject {
  Q_OBJECT

 public:
  CScreenshotTour(CMainFrame& frame, velkin::platform::Registry& registry, QString folder,
                  QObject* parent = nullptr);

  // Takes the first shot; the others follow from the event loop.
  void start();

 signals:
  void finished();

 private:
  struct Shot {
    const char* name;
    void (CScreenshotTour::*take)();
  };
  static const Shot kShots[];

  void mainWindow();
  void treeContextMenu();
  void saveDialog();
  void editSource();
  void findDialog();
  void searchOptions();
  void searchResult();
  void checkVersion();

  // Runs then once the window system has had time to paint.
  void afterPaint(std::function<void()> then);
  // Saves picture as NAME.png, NAME the current shot's name unless given.
  bool save(const QPixmap& picture, const char* name = nullptr);
  // Takes the next shot of the table, or ends the tour.
  void next();

  CMainFrame& frame_;
  velkin::platform::Registry& registry_;
  QString folder_;
  std::size_t current_ = 0;
};
