// CMainFrame: the Favorites menu over the favourites folder
// (platform/favorites.h), Add to Favorites and Organize Favorites.
//
// The menu is read from the folder when it is first opened and kept; Add to
// and Organize Favorites ask for it to be read again at the next opening.
// Each favourite's item carries the command number kFirstFavorite + its
// number; sub-folders that hold favourites come first, as sub-menus.
#include <QAction>
#include <QMenu>
#include <QStatusBar>

#include "app/main_frame.h"
#include "kb/messages.h"
#include "platform/file_util.h"
#include "platform/trace.h"

namespace {

using velkin::platform::trace;
using Command = CMainFrame::Command;

}  // namespace

QString CMainFrame::favoritesFolder() const {
  return QString::fromStdString(velkin::platform::favoritesFolder(registry_));
}

void CMainFrame::buildFavoritesMenu() {
  if (favoritesBuilt_) return;
  favoritesBuilt_ = true;
  // The items and sub-menus of the last build go at once, so that no old
  // item answers to a favourite's number any more.
  for (QAction* item : favoritesMenu_->actions()) {
    if (item == action(Command::AddToFavorites) || item == action(Command::OrganizeFavorites)) continue;
    favoritesMenu_->removeAction(item);
    if (QMenu* popup = item->menu(); popup != nullptr && popup->parent() == favoritesMenu_) {
      delete popup;  // takes its own items, and its menu action, with it
    } else if (item->parent() == favoritesMenu_) {
      delete item;
    }
  }
  favoritesMenu_->addSeparator();
  addFavoriteItems(favoritesMenu_, velkin::platform::readFavorites(favoritesFolder().toStdString()));
}

void CMainFrame::addFavoriteItems(QMenu* menu, const velkin::platform::FavoriteFolder& folder) {
  for (const velkin::platform::FavoriteFolder& sub : folder.folders) {
    QMenu* popup = menu->addMenu(QString::fromStdString(sub.title));
    addFavoriteItems(popup, sub);
  }
  for (const velkin::platform::Favorite& favorite : folder.favorites) {
    QAction* item = menu->addAction(QString::fromStdString(favorite.title));
    item->setObjectName(QStringLiteral("command%1").arg(kFirstFavorite + favorite.number));
    const QString address = QString::fromStdString(favorite.address);
    // A shortcut without an address has nowhere to go.
    item->setEnabled(!address.isEmpty());
    item->setToolTip(address);
    connect(item, &QAction::triggered, this, [this, address] { openLocation(address, true); });
  }
}

void CMainFrame::onAddToFavorites() {
  const QString location = webView_->location();
  if (location.isEmpty() || location == QLatin1String(velkin::app::kBlankAddress)) {
    statusBar()->showMessage(tr("There is no page to add to the favourites."), 4000);
    return;
  }
  const QString address = CTkWebView::urlFor(location).toString(QUrl::FullyEncoded);
  QString title = webView_->title().trimmed();
  if (title.isEmpty()) title = webView_->locationName();
  const velkin::platform::ShellResult added =
      velkin::platform::addFavorite(favoritesFolder().toStdString(), title.toStdString(), address.toStdString());
  if (!added.ok) {
    trace("favorites", added.error);
    seams_.inform(velkin::kb::kCaptionKestrova, tr("The page could not be added to the favourites: %1")
                                                    .arg(QString::fromStdString(added.error)));
    return;
  }
  statusBar()->showMessage(tr("Added to the favourites: %1").arg(QString::fromStdString(added.path)), 4000);
  favoritesBuilt_ = false;
}

void CMainFrame::onOrganizeFavorites() {
  const QString folder = favoritesFolder();
  if (!velkin::platform::makeFolders(folder.toStdString())) {
    seams_.inform(velkin::kb::kCaptionKestrova, tr("The favourites folder %1 could not be created.").arg(folder));
    return;
  }
  seams_.openExternally(QUrl::fromLocalFile(folder));
  favoritesBuilt_ = false;
}
