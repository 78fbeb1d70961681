// Link labels: the maker's web site at the foot of the dialogs, and links
// the dialogs open through an opener of their own.
#pragma once

#include <functional>

class QLabel;
class QString;
class QUrl;
class QWidget;

namespace velkin::uikit {

QLabel* makeSiteLink(QWidget* parent);
// The foot row of a dialog: the site link on the left, buttons on the right.
QWidget* makeLinkAndButtons(QWidget* buttons, QWidget* parent);
// A label showing text as a link to address; it opens nothing itself (its
// linkActivated signal hands the address to the owner's opener).
QLabel* makeLinkLabel(const QUrl& address, const QString& text, QWidget* parent);

// Opens address through opener, or with the desktop's handler when unset.
using UrlOpener = std::function<void(const QUrl&)>;
void openLink(const UrlOpener& opener, const QUrl& address);

}  // namespace velkin::uikit
