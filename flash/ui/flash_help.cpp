#include "flash/ui/flash_help.h"

#include <QDesktopServices>

#include "flash/model/messages.h"
#include "platform/file_util.h"
#include "platform/trace.h"
#include "uikit/share_folder.h"

namespace velkin::flash::ui {

std::string helpBookPath() {
  std::string path = uikit::shareFile(kHelpBookName);
  return !path.empty() && platform::isRegularFile(path) ? path : std::string();
}

void openHelp(QWidget* parent, const uikit::Prompts& prompts, const UrlOpener& opener) {
  const std::string path = helpBookPath();
  if (path.empty()) {
    platform::trace("flash help", "Contents.chm is not in the share folder");
    prompts.information(parent, kCaptionFlash, kHelpMissingMessage);
    return;
  }
  const QUrl address = QUrl::fromLocalFile(QString::fromStdString(path));
  const bool opened = opener ? opener(address) : QDesktopServices::openUrl(address);
  if (!opened) {
    platform::trace("flash help", "no viewer opened " + path);
    prompts.information(parent, kCaptionFlash, "No program could open the help file " + path + ".");
  }
}

}  // namespace velkin::flash::ui
