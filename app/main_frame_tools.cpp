// CMainFrame: the Tools menu's Default Browser and Internet Option.
//
// Default Browser makes kestrova the desktop's web browser through
// xdg-settings and its desktop entry (kDesktopEntry, installed with the
// program); the item is checked while xdg-settings names that entry, and
// disabled where xdg-settings cannot answer.
#include <QAction>
#include <QStatusBar>

#include "app/internet_options_dialog.h"
#include "app/main_frame.h"
#include "kb/messages.h"
#include "platform/trace.h"

namespace {

using Command = CMainFrame::Command;

const QString kBrowserSetting = QStringLiteral("default-web-browser");

}  // namespace

void CMainFrame::updateDefaultBrowserState() {
  const std::optional<QString> current = seams_.xdgSettings({QStringLiteral("get"), kBrowserSetting});
  QAction* item = action(Command::DefaultBrowser);
  item->setEnabled(current.has_value());
  item->setChecked(current && *current == QLatin1String(kDesktopEntry));
}

void CMainFrame::onDefaultBrowser() {
  const std::optional<QString> done =
      seams_.xdgSettings({QStringLiteral("set"), kBrowserSetting, QString::fromLatin1(kDesktopEntry)});
  if (!done) {
    seams_.inform(velkin::kb::kCaptionKestrova,
                  tr("Kestrova could not be made the default browser. Is the program installed with its "
                     "desktop entry %1?")
                      .arg(QString::fromLatin1(kDesktopEntry)));
  }
  updateDefaultBrowserState();
}

void CMainFrame::onInternetOption() {
  CInternetOptionsDialog dialog(velkin::app::readInternetOptions(registry_), this);
  if (dialog.exec() != QDialog::Accepted) return;
  if (!velkin::app::storeInternetOptions(registry_, dialog.options())) {
    velkin::platform::trace("internet options", "cannot store the options");
  }
  applyInternetOptions();
}

void CMainFrame::applyInternetOptions() {
  velkin::app::applyInternetOptions(velkin::app::readInternetOptions(registry_), webView_->settings());
}
