// CMainFrame: the setting toggles of the View and Tools menus, the text zoom
// and showing or hiding the tree pane.
#include <QAction>
#include <QActionGroup>
#include <iterator>

#include "app/main_frame.h"

namespace {

namespace app = velkin::app;
using Command = CMainFrame::Command;

}  // namespace

void CMainFrame::createZoomCommands() {
  zoomGroup_ = new QActionGroup(this);
  const QString zoomTexts[] = {tr("Largest"), tr("Larger"), tr("Medium"), tr("Smaller"), tr("Smallest")};
  for (std::size_t i = 0; i < std::size(app::kZoomCommands); ++i) {
    const app::ZoomCommand zoom = app::kZoomCommands[i];
    QAction* font = addCommand(static_cast<Command>(zoom.commandId), zoomTexts[i]);
    font->setCheckable(true);
    zoomGroup_->addAction(font);
    connect(font, &QAction::triggered, this, [this, level = zoom.level] { onZoom(level); });
  }
}

void CMainFrame::onZoom(int level) {
  zoomStateCode_ = app::zoomStateCode(level);
  webView_->setZoomLevel(level);
  updateCommandStates();
}

void CMainFrame::onMyProjects() { setTreePaneShown(!treeShown_); }

void CMainFrame::onShowTag() {
  settings_.showAllTags = !settings_.showAllTags;
  app::storeToggle(registry_, app::kShowAllTagsValue, settings_.showAllTags);
  webView_->showTags(settings_.showAllTags);
  updateCommandStates();
}

void CMainFrame::onPromptSaveSource() {
  settings_.promptSave = !settings_.promptSave;
  app::storeToggle(registry_, app::kPromptSaveValue, settings_.promptSave);
  updateCommandStates();
}

void CMainFrame::onHideScriptError() {
  settings_.hideError = !settings_.hideError;
  app::storeToggle(registry_, app::kHideErrorValue, settings_.hideError);
  if (mode_ != Mode::EditSource) webView_->setSilent(settings_.hideError);
  updateCommandStates();
}
