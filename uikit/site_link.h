// The label linking to the maker's web site, at the foot of the dialogs.
#pragma once

class QLabel;
class QWidget;

namespace velkin::uikit {

QLabel* makeSiteLink(QWidget* parent);

}  // namespace velkin::uikit
