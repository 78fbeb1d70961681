// CMainFrame: New and Open on pages, and the four recent files of the File
// menu (kept in the profile area, app_settings.h recentFileList).
#include <QAction>
#include <QFileInfo>

#include "app/main_frame.h"
#include "app/project_tree_ctrl.h"
#include "app/tk_tree_view.h"
#include "kb/messages.h"
#include "platform/file_util.h"
#include "platform/trace.h"

namespace {

namespace app = velkin::app;
using velkin::platform::trace;
using Command = CMainFrame::Command;

constexpr Command kRecentFiles[] = {Command::RecentFile1, Command::RecentFile2, Command::RecentFile3,
                                    Command::RecentFile4};
static_assert(std::size(kRecentFiles) == app::kMaxRecentFiles);

}  // namespace

void CMainFrame::onNew() {
  velkin::kb::ProjectTree& tree = treeView_->treeCtrl()->model();
  const velkin::kb::TreeOutcome outcome = tree.newPage(tree.selected());
  if (!outcome.ok || outcome.item == nullptr) {
    if (!outcome.error.empty()) trace("new page", outcome.error);
    seams_.inform(velkin::kb::kCaptionKestrova, outcome.message.empty()
                                                    ? tr("The new page could not be created.")
                                                    : QString::fromStdString(outcome.message));
    return;
  }
  const QString path = QString::fromStdString(tree.pathOf(outcome.item));
  rememberRecentFile(path);
  openLocation(path, true, [this] { onEdit(); });
}

void CMainFrame::onOpen() {
  const QString path = seams_.chooseOpenPath();
  if (path.isEmpty()) return;
  rememberRecentFile(path);
  openLocation(path, true);
}

void CMainFrame::openRecentFile(std::size_t index) {
  const std::vector<std::string> files = app::readNumberedList(registry_, app::recentFileList());
  if (index >= files.size()) return;
  const QString path = QString::fromStdString(files[index]);
  if (!velkin::platform::isRegularFile(files[index])) {
    app::forgetInList(registry_, app::recentFileList(), files[index]);
    updateRecentFiles();
    seams_.inform(velkin::kb::kCaptionKestrova,
                  tr("The file %1 no longer exists; it was taken out of the recent files.").arg(path));
    return;
  }
  rememberRecentFile(path);
  openLocation(path, true);
}

void CMainFrame::rememberRecentFile(const QString& path) {
  app::rememberInList(registry_, app::recentFileList(), QFileInfo(path).absoluteFilePath().toStdString());
  updateRecentFiles();
}

void CMainFrame::updateRecentFiles() {
  const std::vector<std::string> files = app::readNumberedList(registry_, app::recentFileList());
  for (std::size_t i = 0; i < std::size(kRecentFiles); ++i) {
    QAction* item = action(kRecentFiles[i]);
    const bool listed = i < files.size();
    item->setVisible(listed);
    if (!listed) continue;
    const QString path = QString::fromStdString(files[i]);
    item->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()));
    item->setToolTip(path);
    item->setStatusTip(path);
  }
}
