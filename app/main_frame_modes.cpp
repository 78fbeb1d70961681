// CMainFrame: the view modes of the content pane (Browse, Edit, Edit
// Source), opening locations, writing the edited page back when it is left,
// and closing the window.
//
// Browse and Edit keep the same CTkWebView. Edit Source puts the page's HTML
// source (CKestrovaView) in its place in the splitter; the web view stays,
// hidden, for the window's life, and comes back navigated to the current
// location when Edit Source is left. Every way to another location
// (the tree's open-page message, the address bar, the Go commands, the
// favourites, the recent files) goes through openLocation and leavePageThen,
// so the page being left is handled in one place for all of them.
#include <QCloseEvent>
#include <QComboBox>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>

#include "app/main_frame.h"
#include "kb/messages.h"

namespace {

namespace app = velkin::app;

// Locations whose source is the browser's text of the page rather than a
// file: any with "http:" or "https:" in it, in any case.
bool isWebLocation(const QString& location) {
  return location.contains(QLatin1String("http:"), Qt::CaseInsensitive) ||
         location.contains(QLatin1String("https:"), Qt::CaseInsensitive);
}

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
  if (mode_ == Mode::EditSource) {
    // Another page leaves Edit Source for Browse.
    if (!closeSourceView()) return;
    webView_->setBrowseState();
    mode_ = Mode::Browse;
    updateCommandStates();
    leave();
    return;
  }
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
  if (mode_ == Mode::EditSource) {
    if (!closeSourceView()) return;
    webView_->navigate(currentLocation_);
  } else if (mode_ == Mode::Edit) {
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
  if (mode_ == Mode::EditSource) {
    if (!closeSourceView()) return;
    webView_->navigate(currentLocation_);
  }
  webView_->setEditState();
  mode_ = Mode::Edit;
  updateCommandStates();
}

void CMainFrame::onEditSource() {
  // The mode's check mark stays where it is until the source is shown.
  updateCommandStates();
  if (mode_ == Mode::EditSource || sourcePending_) return;
  leavePageThen([this] { takeSource(); });
}

void CMainFrame::takeSource() {
  const QString location = currentLocation_;
  if (!isWebLocation(location)) {
    const QUrl url = CTkWebView::urlFor(location);
    const QString path = url.isLocalFile() ? url.toLocalFile() : location;
    if (!showSourceView()->loadFile(path)) {
      statusBar()->showMessage(tr("The file %1 could not be read.").arg(path), 4000);
    }
    return;
  }
  // The whole text of the page as the browser holds it; it comes later.
  sourcePending_ = true;
  QPointer<CMainFrame> self(this);
  webView_->page()->toHtml([self, location](const QString& html) {
    if (!self || !self->sourcePending_) return;
    self->sourcePending_ = false;
    // Another page or mode chosen meanwhile wins.
    if (self->currentLocation_ != location || self->mode_ == Mode::EditSource) return;
    self->showSourceView()->setSourceText(html);
  });
}

CKestrovaView* CMainFrame::showSourceView() {
  auto* view = new CKestrovaView(registry_);
  CKestrovaView::Seams seams;
  seams.askSave = [this] { return seams_.askSaveSource(); };
  seams.chooseSavePath = [this](const QString& proposed) { return seams_.chooseSavePath(proposed); };
  seams.ask = [this](const char* caption, const QString& text) { return seams_.ask(caption, text); };
  view->setSeams(std::move(seams));
  webView_->setBrowseState();
  swapContentView(webView_, view);
  sourceView_ = view;
  mode_ = Mode::EditSource;
  updateCommandStates();
  view->setFocus(Qt::OtherFocusReason);
  return view;
}

bool CMainFrame::closeSourceView() {
  sourcePending_ = false;
  if (!sourceView_) return true;
  if (!sourceView_->confirmLeave()) {
    updateCommandStates();
    return false;
  }
  // The answer may have changed the stored prompt choice.
  settings_.promptSave = app::readFrameSettings(registry_).promptSave;
  CKestrovaView* view = sourceView_;
  sourceView_ = nullptr;
  swapContentView(view, webView_);
  view->deleteLater();
  // Hide script error may have been toggled while the source was shown.
  webView_->setSilent(settings_.hideError);
  return true;
}

void CMainFrame::swapContentView(QWidget* from, QWidget* to) {
  // The sizes as they are before the splitter spreads its room anew.
  QList<int> sizes = splitter_->sizes();
  if (splitter_->indexOf(to) < 0) {
    const int index = splitter_->indexOf(from);
    splitter_->insertWidget(index, to);
    splitter_->setStretchFactor(index, 1);
    sizes.insert(index, 0);
  }
  const int fromIndex = splitter_->indexOf(from);
  const int toIndex = splitter_->indexOf(to);
  sizes[toIndex] = sizes[fromIndex];
  sizes[fromIndex] = 0;
  from->hide();
  to->show();
  splitter_->setSizes(sizes);
}

// ---------------------------------------------------------------- closing

void CMainFrame::closeEvent(QCloseEvent* event) {
  // The source is saved or let go first; the user may keep it on screen.
  if (mode_ == Mode::EditSource && sourceView_ && !sourceView_->confirmLeave()) {
    event->ignore();
    return;
  }
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
