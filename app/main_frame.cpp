// CMainFrame: creation, the seams, the client area, the panes, the address
// bar's list and the command states. The other concerns of the frame live
// in the main_frame_*.cpp files named in main_frame.h.
#include "app/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QSplitter>

#include "app/main_frame_internal.h"
#include "app/project_tree_ctrl.h"
#include "app/save_source_dialog.h"
#include "app/search_dialog.h"
#include "app/seams.h"
#include "app/tk_tree_view.h"
#include "platform/file_util.h"
#include "platform/trace.h"
#include "uikit/message_box.h"

// The program's icons live in a resource file of this static library; they
// must be registered by hand before the first use.
static void registerKestrovaResources() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(kestrova);
    // The icons are SVG files; without Qt's SVG plugin they draw nothing.
    if (!QImageReader::supportedImageFormats().contains("svg")) {
      velkin::platform::trace("icons", "no SVG image plugin: the toolbar icons are blank");
    }
    return true;
  }();
  (void)registered;
}

namespace velkin::app::frame {

QIcon icon(const QString& name) { return QIcon(QStringLiteral(":/kestrova/%1.svg").arg(name)); }

}  // namespace velkin::app::frame

namespace {

namespace app = velkin::app;
using velkin::app::frame::icon;
using velkin::platform::trace;
using Command = CMainFrame::Command;

constexpr int kTreeWidth = 200;

}  // namespace

CMainFrame::CMainFrame(velkin::platform::Registry& registry, QWidget* parent)
    : QMainWindow(parent), registry_(registry), currentLocation_(QString::fromLatin1(app::kBlankAddress)) {
  registerKestrovaResources();
  setObjectName(QStringLiteral("MainFrame"));
  setWindowIcon(icon(QStringLiteral("kestrova")));
  setWindowTitle(QString::fromLatin1(app::kApplicationTitle));
  resize(1000, 700);
  setSeams({});

  createClientArea();
  applyInternetOptions();
  createActions();
  createMenus();
  createToolBars();
  createStatusBar();
  settings_ = app::readFrameSettings(registry_);
  webView_->showTags(settings_.showAllTags);
  createDockBars();
  restoreBarStates();

  connect(qApp, &QApplication::focusChanged, this, &CMainFrame::onFocusChanged);
  updateRecentFiles();
  updateCommandStates();
}

CMainFrame::~CMainFrame() = default;

namespace {

// Runs xdg-settings and returns its trimmed output; nullopt when it is not
// installed, fails, or takes longer than a few seconds.
std::optional<QString> runXdgSettings(const QStringList& arguments) {
  constexpr int kTimeoutMs = 5000;
  const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-settings"));
  if (program.isEmpty()) return std::nullopt;
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(kTimeoutMs)) {
    process.kill();
    process.waitForFinished(kTimeoutMs);
    trace("xdg-settings", "no answer from xdg-settings " + arguments.join(QLatin1Char(' ')).toStdString());
    return std::nullopt;
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    trace("xdg-settings", "xdg-settings " + arguments.join(QLatin1Char(' ')).toStdString() + " failed: " +
                              process.readAllStandardError().trimmed().toStdString());
    return std::nullopt;
  }
  return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

}  // namespace

void CMainFrame::setSeams(Seams seams) {
  using velkin::app::takeSeam;
  takeSeam(seams_.chooseFolder, seams.chooseFolder, [this] {
    return [this](const QString& title, const QString& folder) {
      return QFileDialog::getExistingDirectory(this, title, folder);
    };
  });
  takeSeam(seams_.chooseSavePath, seams.chooseSavePath, [this] {
    return [this](const QString& proposed) {
      return QFileDialog::getSaveFileName(this, tr("Save As"), proposed,
                                          tr("Web Page (*.htm *.html);;All Files (*)"));
    };
  });
  takeSeam(seams_.chooseOpenPath, seams.chooseOpenPath, [this] {
    return [this] {
      return QFileDialog::getOpenFileName(this, tr("Open"), QString(), tr("Web Page (*.htm *.html)"));
    };
  });
  takeSeam(seams_.openExternally, seams.openExternally, [] {
    return [](const QUrl& address) {
      if (!QDesktopServices::openUrl(address)) trace("open", "cannot open " + address.toString().toStdString());
    };
  });
  takeSeam(seams_.inform, seams.inform, [this] {
    return [this](const char* caption, const QString& text) {
      velkin::uikit::showInformation(this, caption, text.toStdString());
    };
  });
  takeSeam(seams_.ask, seams.ask, [this] {
    return [this](const char* caption, const QString& text) {
      return velkin::uikit::askYesNo(this, caption, text.toStdString());
    };
  });
  takeSeam(seams_.xdgSettings, seams.xdgSettings, [] { return runXdgSettings; });
  takeSeam(seams_.helpBook, seams.helpBook, [] { return [] { return velkin::app::shareFile("Contents.chm"); }; });
  takeSeam(seams_.askSearch, seams.askSearch, [this] {
    return [this]() -> std::optional<velkin::kb::PageFilter> {
      CSearchDialog dialog(this);
      if (dialog.exec() != QDialog::Accepted) return std::nullopt;
      return dialog.filter();
    };
  });
  takeSeam(seams_.askSaveSource, seams.askSaveSource, [this] { return [this] { return askSaveSource(this); }; });
}

// ---------------------------------------------------------------- creation

void CMainFrame::createClientArea() {
  splitter_ = new QSplitter(Qt::Horizontal, this);
  splitter_->setObjectName(QStringLiteral("splitter"));
  splitter_->setChildrenCollapsible(false);
  treeView_ = new CTkTreeView(registry_, splitter_);
  webView_ = new CTkWebView(registry_, splitter_);
  splitter_->addWidget(treeView_);
  splitter_->addWidget(webView_);
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({kTreeWidth, 800});
  setCentralWidget(splitter_);

  CProjectTreeCtrl* tree = treeView_->treeCtrl();
  connect(tree, &CProjectTreeCtrl::openPage, this, &CMainFrame::onOpenPage);
  connect(tree, &CProjectTreeCtrl::buildOutput, this, &CMainFrame::onBuildOutput);
  connect(this, &CMainFrame::treeRename, tree, &CProjectTreeCtrl::onRename);
  connect(this, &CMainFrame::treeRefresh, tree, &CProjectTreeCtrl::onRefresh);
  connect(this, &CMainFrame::treeBuildChm, tree, &CProjectTreeCtrl::onBuildChm);
  connect(this, &CMainFrame::treeBuildHtml, tree, &CProjectTreeCtrl::onBuildHtml);
  connect(treeView_, &CTkTreeView::closeClicked, this, [this] { setTreePaneShown(false); });
  tree->setDropSourceAddress([this] { return webView_->location(); });

  connect(webView_, &CTkWebView::addressChanged, this, &CMainFrame::setAddressText);
  connect(webView_, &CTkWebView::locationChanged, this, [this](const QString& where) { currentLocation_ = where; });
  connect(webView_, &CTkWebView::historyStateChanged, this, &CMainFrame::updateCommandStates);
  connect(webView_, &QWebEngineView::urlChanged, this, &CMainFrame::updateCommandStates);
  connect(webView_, &CTkWebView::scriptError, this, &CMainFrame::showScriptError);
}

void CMainFrame::initialUpdate(const QString& page) {
  webView_->initialUpdate(page);
  if (!page.isEmpty()) {
    currentLocation_ = page;
    setAddressText(page);
  }
  if (treeShown_) treeView_->treeCtrl()->setFocus();
}

QAction* CMainFrame::action(Command command) const {
  const auto found = actions_.find(command);
  return found == actions_.end() ? nullptr : found->second;
}

// ---------------------------------------------------------------- state

void CMainFrame::updateCommandStates() {
  // The browser's commands do nothing, and are disabled, while the source is
  // shown in its place.
  const bool browser = mode_ != Mode::EditSource;
  action(Command::BuildChm)->setEnabled(treeShown_);
  action(Command::BuildHtml)->setEnabled(treeShown_);
  action(Command::MyProjects)->setChecked(treeShown_);
  action(Command::Browse)->setChecked(mode_ == Mode::Browse);
  action(Command::Edit)->setChecked(mode_ == Mode::Edit);
  action(Command::EditSource)->setChecked(mode_ == Mode::EditSource);
  action(Command::Save)->setEnabled(browser && webView_->canSave());
  action(Command::GoBack)->setEnabled(browser && webView_->backEnabled());
  action(Command::GoForward)->setEnabled(browser && webView_->forwardEnabled());
  action(Command::Undo)->setEnabled(!browser || webView_->isEditing());
  action(Command::Redo)->setEnabled(!browser || webView_->isEditing());
  for (const Command command : {Command::SaveAs, Command::Print, Command::PrintPreview, Command::PrintSetup,
                                Command::GoHome, Command::Blank, Command::Stop, Command::Refresh, Command::VisitSite}) {
    action(command)->setEnabled(browser);
  }
  action(Command::ShowTag)->setChecked(settings_.showAllTags);
  action(Command::PromptSaveSource)->setChecked(settings_.promptSave);
  action(Command::HideScriptError)->setChecked(settings_.hideError);
  action(Command::SearchResult)->setChecked(!searchBar_->isHidden());
  for (const app::ZoomCommand zoom : app::kZoomCommands) {
    QAction* font = action(static_cast<Command>(zoom.commandId));
    font->setChecked(zoomStateCode_ == app::zoomStateCode(zoom.level));
    font->setEnabled(browser);
  }
}

// ---------------------------------------------------------------- panes

void CMainFrame::onFocusChanged(QWidget*, QWidget* now) {
  if (now == nullptr) return;
  if (treeView_->isAncestorOf(now)) {
    activePane_ = Pane::Tree;
  } else if (now == contentView() || contentView()->isAncestorOf(now)) {
    activePane_ = Pane::Content;
  }
}

void CMainFrame::activatePane(Pane pane) {
  if (pane == Pane::Tree && !treeShown_) pane = Pane::Content;
  activePane_ = pane;
  if (pane == Pane::Tree) {
    treeView_->treeCtrl()->setFocus(Qt::OtherFocusReason);
  } else {
    contentView()->setFocus(Qt::OtherFocusReason);
  }
}

QWidget* CMainFrame::contentView() const {
  if (sourceView_) return sourceView_;
  return webView_;
}

void CMainFrame::switchPane(int step) {
  if (!treeShown_) {
    activatePane(Pane::Content);
    return;
  }
  (void)step;  // two panes: next and previous are the same one
  activatePane(activePane_ == Pane::Tree ? Pane::Content : Pane::Tree);
}

void CMainFrame::setTreePaneShown(bool shown) {
  treeShown_ = shown;
  treeView_->setVisible(shown);
  if (!shown && activePane_ == Pane::Tree) activePane_ = Pane::Content;
  updateCommandStates();
}

// ---------------------------------------------------------------- address bar

void CMainFrame::setAddressText(const QString& location) {
  addressBar_->setEditText(QString::fromStdString(app::addressText(location.toStdString())));
}

void CMainFrame::fillAddressBar() {
  const QString text = addressBar_->currentText();
  const QSignalBlocker blocker(addressBar_);
  addressBar_->clear();
  const QIcon page = icon(QStringLiteral("page"));
  const QIcon web = icon(QStringLiteral("web"));
  for (const std::string& url : app::readTypedUrls(registry_)) {
    const bool onDisk = velkin::platform::pathExists(app::addressText(url));
    addressBar_->addItem(onDisk ? page : web, QString::fromStdString(url));
  }
  addressBar_->setEditText(text);
}
