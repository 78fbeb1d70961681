// CMainFrame: the view modes of the content pane (Browse, Edit, Edit
// Source), opening locations, writing the edited page back when it is left,
// and closing the window.
//
// Browse and Edit keep the same CTkWebView. Every way to another location
// (the tree's open-page message, the address bar, the Go commands, the
// favourites, the recent files) goes through openLocation and leavePageThen,
// so the page being left is handled in one place for all of them.
#include <QCloseEvent>
#include <QComboBox>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

#include "app/main_frame.h"
#include "kb/messages.h"

namespace {

namespace app = velkin::app;

}  // namespace

// ---------------------------------------------------------------- locations

void CMainFrame::onOpenPage(const QString& pathOrUrl) {
  if (pathOrUrl.isEmpty() || pathOrUrl == currentLocation_) return;
  openLocation(pathOrUrl, true);
}

void CMainFrame::onAddressEntered() {
  const QString text = addressBar_->currentText().trimmed();
  if (text.isEmpty()) return;
  goToAddress(text);
  app::rememberTypedUrl(registry_, text.toStdString());
  QTimer::singleShot(0, this, &CMainFrame::fillAddressBar);
}

void CMainFrame::onAddressActivated(int index) { goToAddress(addressBar_->itemText(index).trimmed()); }

void CMainFrame::goToAddress(const QString& text) {
  if (text.isEmpty()) return;
  // Enter on a listed address may arrive both as an activation and as Enter.
  if (addressHandledThisTurn_ && text == lastAddressHandled_) return;
  addressHandledThisTurn_ = true;
  lastAddressHandled_ = text;
  QTimer::singleShot(0, this, [this] { addressHandledThisTurn_ = false; });
  // The address bar already shows what was typed.
  openLocation(text, false);
}

void CMainFrame::showAddress(const QString& address) { openLocation(address, true); }

void CMainFrame::openLocation(const QString& where, bool showInAddressBar, std::function<void()> then) {
  leavePageThen([this, where, showInAddressBar, then = std::move(then)] {
    currentLocation_ = where;
    webView_->navigate(where);
    if (showInAddressBar) setAddressText(where);
    if (then) then();
  });
}

// ---------------------------------------------------------------- leaving a page

void CMainFrame::leavePageThen(std::function<void()> leave) {
  if (mode_ != Mode::Edit) {
    leave();
    return;
  }
  if (saving_) return;
  saving_ = true;
  QPointer<CMainFrame> self(this);
  webView_->save([self, leave = std::move(leave)](CTkWebView::SaveResult result, const QString& message) {
    if (!self) return;
    self->saving_ = false;
    // A page that cannot be written now stays on screen with its edits,
    // unless the user chooses to leave it anyway.
    if (result == CTkWebView::SaveResult::Failed) {
      if (self->seams_.ask(velkin::kb::kCaptionKestrova,
                           tr("The page could not be saved: %1\nLeave it anyway? The edits will be lost.")
                               .arg(message))) {
        leave();
      }
      return;
    }
    self->reportSave(result, message, SaveRequest::Leaving);
    leave();
  });
}

void CMainFrame::reportSave(CTkWebView::SaveResult result, const QString& message, SaveRequest request) {
  switch (result) {
    case CTkWebView::SaveResult::Saved:
      statusBar()->showMessage(tr("Saved %1").arg(webView_->location()), 4000);
      break;
    case CTkWebView::SaveResult::Unchanged:
      if (request == SaveRequest::Command && !message.isEmpty()) statusBar()->showMessage(message, 4000);
      break;
    case CTkWebView::SaveResult::NotSaved:
      // Edits that were not written: never left unsaid.
      if (!message.isEmpty()) seams_.inform(velkin::kb::kCaptionKestrova, message);
      break;
    case CTkWebView::SaveResult::Failed:
      seams_.inform(velkin::kb::kCaptionKestrova, tr("The page could not be saved: %1").arg(message));
      break;
  }
}

void CMainFrame::showScriptError(const QString& message) {
  if (auto* box = qobject_cast<QMessageBox*>(scriptErrorBox_.data())) {
    box->setText(box->text() + QLatin1Char('\n') + message);
    return;
  }
  auto* box = new QMessageBox(QMessageBox::Warning, tr("Script Error"), message, QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
  scriptErrorBox_ = box;
}

// ---------------------------------------------------------------- modes

void CMainFrame::onBrowse() {
  if (mode_ == Mode::Edit) {
    QPointer<CMainFrame> self(this);
    webView_->save([self](CTkWebView::SaveResult result, const QString& message) {
      if (self) self->reportSave(result, message, SaveRequest::Leaving);
    });
  }
  webView_->setBrowseState();
  mode_ = Mode::Browse;
  updateCommandStates();
}

void CMainFrame::onEdit() {
  webView_->setEditState();
  mode_ = Mode::Edit;
  updateCommandStates();
}

// ---------------------------------------------------------------- closing

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (mode_ == Mode::Edit && !closeSaveDone_) {
    // The edited page is written before the window goes.
    event->ignore();
    leavePageThen([this] {
      closeSaveDone_ = true;
      close();
    });
    return;
  }
  saveFrameState();
  QMainWindow::closeEvent(event);
}
