#include "app/main_frame.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <iterator>

#include "app/project_tree_ctrl.h"
#include "app/tk_tree_view.h"
#include "kb/messages.h"
#include "kb/meta.h"
#include "platform/file_util.h"
#include "platform/trace.h"
#include "uikit/about_dialog.h"
#include "uikit/build_progress_bar.h"
#include "uikit/message_box.h"
#include "uikit/tip_dialog.h"

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

namespace {

namespace app = velkin::app;
using velkin::platform::trace;
using Command = CMainFrame::Command;

constexpr int kStateVersion = 1;
constexpr int kLockPollMs = 1000;
constexpr int kTreeWidth = 200;

// Toolbar text options of the Customize dialog.
enum ToolbarTextOption { kTextLabels = 0, kSelectiveText = 1, kNoTextLabels = 2 };

QIcon icon(const QString& name) { return QIcon(QStringLiteral(":/kestrova/%1.svg").arg(name)); }

// Lock key state from the keyboard LEDs the kernel exposes; false when the
// machine has none that can be read.
bool lockLedOn(const QString& led) {
  const QDir leds(QStringLiteral("/sys/class/leds"));
  for (const QString& entry : leds.entryList({QStringLiteral("*::") + led}, QDir::Dirs | QDir::System)) {
    QFile brightness(leds.filePath(entry + QStringLiteral("/brightness")));
    if (brightness.open(QIODevice::ReadOnly) && brightness.readAll().trimmed() != "0") return true;
  }
  return false;
}

QLabel* indicator(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setAlignment(Qt::AlignCenter);
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance(text) + 12);
  label->setFrameShape(QFrame::Panel);
  label->setFrameShadow(QFrame::Sunken);
  return label;
}

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
  createActions();
  createMenus();
  createToolBars();
  createStatusBar();
  settings_ = app::readFrameSettings(registry_);
  webView_->showTags(settings_.showAllTags);
  createDockBars();
  restoreBarStates();

  connect(qApp, &QApplication::focusChanged, this, &CMainFrame::onFocusChanged);
  updateCommandStates();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::setSeams(Seams seams) {
  if (seams.chooseFolder) {
    seams_.chooseFolder = std::move(seams.chooseFolder);
  } else if (!seams_.chooseFolder) {
    seams_.chooseFolder = [this](const QString& title, const QString& folder) {
      return QFileDialog::getExistingDirectory(this, title, folder);
    };
  }
  if (seams.chooseSavePath) {
    seams_.chooseSavePath = std::move(seams.chooseSavePath);
  } else if (!seams_.chooseSavePath) {
    seams_.chooseSavePath = [this](const QString& proposed) {
      return QFileDialog::getSaveFileName(this, tr("Save As"), proposed,
                                          tr("Web Page (*.htm *.html);;All Files (*)"));
    };
  }
  if (seams.openExternally) {
    seams_.openExternally = std::move(seams.openExternally);
  } else if (!seams_.openExternally) {
    seams_.openExternally = [](const QUrl& address) {
      if (!QDesktopServices::openUrl(address)) trace("open", "cannot open " + address.toString().toStdString());
    };
  }
  if (seams.inform) {
    seams_.inform = std::move(seams.inform);
  } else if (!seams_.inform) {
    seams_.inform = [this](const char* caption, const QString& text) {
      velkin::uikit::showInformation(this, caption, text.toStdString());
    };
  }
  if (seams.ask) {
    seams_.ask = std::move(seams.ask);
  } else if (!seams_.ask) {
    seams_.ask = [this](const char* caption, const QString& text) {
      return velkin::uikit::askYesNo(this, caption, text.toStdString());
    };
  }
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

QAction* CMainFrame::addCommand(Command command, const QString& text, const QString& iconName) {
  auto* action = new QAction(text, this);
  action->setObjectName(QStringLiteral("command%1").arg(static_cast<int>(command)));
  if (!iconName.isEmpty()) action->setIcon(icon(iconName));
  addAction(action);
  actions_[command] = action;
  return action;
}

void CMainFrame::createActions() {
  const auto on = [this](Command command, auto slot) { connect(action(command), &QAction::triggered, this, slot); };

  addCommand(Command::Save, tr("Save"), QStringLiteral("save"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  addCommand(Command::SaveAs, tr("Save As..."));
  addCommand(Command::Print, tr("Print..."), QStringLiteral("print"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  addCommand(Command::PrintPreview, tr("Print Preview"));
  addCommand(Command::PrintSetup, tr("Print Setup..."));
  addCommand(Command::SetBookDirectory, tr("Set Book Directory"));
  addCommand(Command::BuildChm, tr("Build CHM"));
  addCommand(Command::BuildHtml, tr("Build HTML"));
  addCommand(Command::Exit, tr("Exit"));
  on(Command::Save, &CMainFrame::onSave);
  on(Command::SaveAs, &CMainFrame::onSaveAs);
  connect(action(Command::Print), &QAction::triggered, webView_, &CTkWebView::onPrint);
  connect(action(Command::PrintPreview), &QAction::triggered, webView_, &CTkWebView::onPrintPreview);
  connect(action(Command::PrintSetup), &QAction::triggered, webView_, &CTkWebView::onPageSetup);
  on(Command::SetBookDirectory, &CMainFrame::onSetBookDirectory);
  on(Command::BuildChm, [this] {
    if (treeShown_) emit treeBuildChm();
  });
  on(Command::BuildHtml, [this] {
    if (treeShown_) emit treeBuildHtml();
  });
  on(Command::Exit, &QWidget::close);

  addCommand(Command::Undo, tr("Undo"))->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Z),
                                                       QKeySequence(Qt::ALT | Qt::Key_Backspace)});
  addCommand(Command::Redo, tr("Redo"));
  addCommand(Command::Cut, tr("Cut"))->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_X),
                                                     QKeySequence(Qt::SHIFT | Qt::Key_Delete)});
  addCommand(Command::Copy, tr("Copy"))->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_C),
                                                       QKeySequence(Qt::CTRL | Qt::Key_Insert)});
  addCommand(Command::Paste, tr("Paste"))->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_V),
                                                         QKeySequence(Qt::SHIFT | Qt::Key_Insert)});
  addCommand(Command::Rename, tr("Rename"))->setShortcut(QKeySequence(Qt::Key_F2));
  addCommand(Command::TreeRefresh, tr("Refresh"))->setShortcut(QKeySequence(Qt::Key_F5));
  connect(action(Command::Undo), &QAction::triggered, webView_, &CTkWebView::onUndo);
  connect(action(Command::Redo), &QAction::triggered, webView_, &CTkWebView::onRedo);
  on(Command::Cut, &CMainFrame::onCut);
  on(Command::Copy, &CMainFrame::onCopy);
  on(Command::Paste, &CMainFrame::onPaste);
  on(Command::Rename, &CMainFrame::onRename);
  on(Command::TreeRefresh, &CMainFrame::onTreeRefresh);

  addCommand(Command::MyProjects, tr("My Projects"), QStringLiteral("projects"))
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
  action(Command::MyProjects)->setCheckable(true);
  on(Command::MyProjects, &CMainFrame::onMyProjects);
  addCommand(Command::StatusBar, tr("Status Bar"))->setCheckable(true);
  connect(action(Command::StatusBar), &QAction::toggled, this, [this](bool shown) { statusBar()->setVisible(shown); });
  addCommand(Command::Customize, tr("Customize..."));
  on(Command::Customize, &CMainFrame::onCustomize);

  modeGroup_ = new QActionGroup(this);
  addCommand(Command::Browse, tr("Browse"), QStringLiteral("browse"));
  addCommand(Command::Edit, tr("Edit"), QStringLiteral("edit"));
  addCommand(Command::EditSource, tr("Edit Source"));
  for (const Command command : {Command::Browse, Command::Edit, Command::EditSource}) {
    action(command)->setCheckable(true);
    modeGroup_->addAction(action(command));
  }
  on(Command::Browse, &CMainFrame::onBrowse);
  on(Command::Edit, &CMainFrame::onEdit);

  addCommand(Command::Search, tr("Search ..."))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  addCommand(Command::SearchResult, tr("Search Result"));
  addCommand(Command::ShowTag, tr("Show Tag"))->setCheckable(true);
  addCommand(Command::PromptSaveSource, tr("Prompt Save Source"))->setCheckable(true);
  addCommand(Command::HideScriptError, tr("Hide script error"))->setCheckable(true);
  on(Command::ShowTag, &CMainFrame::onShowTag);
  on(Command::PromptSaveSource, &CMainFrame::onPromptSaveSource);
  on(Command::HideScriptError, &CMainFrame::onHideScriptError);

  addCommand(Command::GoBack, tr("Go back"), QStringLiteral("back"));
  addCommand(Command::GoForward, tr("Go forward"), QStringLiteral("forward"));
  addCommand(Command::GoHome, tr("Go home page"), QStringLiteral("home"))
      ->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));
  addCommand(Command::Blank, tr("about:blank"));
  addCommand(Command::Stop, tr("Stop"), QStringLiteral("stop"));
  // F5 itself belongs to the routed Refresh below; the menu shows it here,
  // where it reloads the page whenever the browser is the active pane.
  addCommand(Command::Refresh, tr("Refresh") + QStringLiteral("\tF5"), QStringLiteral("refresh"))
      ->setIconText(tr("Refresh"));
  addCommand(Command::VisitSite, tr("Velkin Web Home Page"));
  on(Command::GoBack, [this] { leavePageThen([this] { webView_->back(); }); });
  on(Command::GoForward, [this] { leavePageThen([this] { webView_->forward(); }); });
  on(Command::GoHome, [this] { leavePageThen([this] { webView_->goHome(); }); });
  on(Command::Blank, [this] { showAddress(QString::fromLatin1(app::kBlankAddress)); });
  on(Command::Stop, [this] { webView_->stop(); });
  on(Command::Refresh, [this] { leavePageThen([this] { webView_->reload(); }); });
  on(Command::VisitSite, [this] { showAddress(QString::fromLatin1(velkin::kb::kHomePageAddress)); });
  // Esc stops loading from the page and the address bar only, so that it
  // still cancels label editing in the tree.
  action(Command::Stop)->setShortcut(QKeySequence(Qt::Key_Escape));
  action(Command::Stop)->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  removeAction(action(Command::Stop));
  webView_->addAction(action(Command::Stop));

  zoomGroup_ = new QActionGroup(this);
  const QString zoomTexts[] = {tr("Largest"), tr("Larger"), tr("Medium"), tr("Smaller"), tr("Smallest")};
  for (std::size_t i = 0; i < std::size(app::kZoomCommands); ++i) {
    const app::ZoomCommand zoom = app::kZoomCommands[i];
    QAction* font = addCommand(static_cast<Command>(zoom.commandId), zoomTexts[i]);
    font->setCheckable(true);
    zoomGroup_->addAction(font);
    connect(font, &QAction::triggered, this, [this, level = zoom.level] { onZoom(level); });
  }

  addCommand(Command::DefaultBrowser, tr("Default Browser"));
  addCommand(Command::InternetOption, tr("Internet Option"));
  addCommand(Command::AddToFavorites, tr("Add to Favorites..."));
  addCommand(Command::OrganizeFavorites, tr("Organize Favorites..."));
  addCommand(Command::Contents, tr("Contents"))->setShortcut(QKeySequence(Qt::Key_F1));
  addCommand(Command::TipOfTheDay, tr("Tip of the day"));
  addCommand(Command::CheckNewVersion, tr("Check new version"));
  addCommand(Command::About, tr("About"));
  on(Command::Contents, &CMainFrame::onContents);
  on(Command::TipOfTheDay, &CMainFrame::onTipOfTheDay);
  on(Command::About, &CMainFrame::onAbout);

  addCommand(Command::NextPane, tr("Next Pane"))->setShortcut(QKeySequence(Qt::Key_F6));
  addCommand(Command::PreviousPane, tr("Previous Pane"))->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));
  on(Command::NextPane, [this] { switchPane(1); });
  on(Command::PreviousPane, [this] { switchPane(-1); });

  // The source view, search, favourites and the browser options arrive
  // later; their commands are shown but cannot be chosen yet.
  for (const Command later : {Command::EditSource, Command::Search, Command::SearchResult, Command::AddToFavorites,
                              Command::OrganizeFavorites, Command::InternetOption, Command::DefaultBrowser,
                              Command::CheckNewVersion}) {
    action(later)->setEnabled(false);
  }
}

void CMainFrame::createMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addActions({action(Command::Save), action(Command::SaveAs)});
  file->addSeparator();
  file->addActions({action(Command::Print), action(Command::PrintPreview), action(Command::PrintSetup)});
  file->addSeparator();
  file->addActions({action(Command::SetBookDirectory), action(Command::BuildChm), action(Command::BuildHtml)});
  file->addSeparator();
  file->addAction(action(Command::Exit));

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  edit->addActions({action(Command::Undo), action(Command::Redo)});
  edit->addSeparator();
  edit->addActions({action(Command::Cut), action(Command::Copy), action(Command::Paste)});
  edit->addSeparator();
  edit->addAction(action(Command::Rename));

  QMenu* view = menuBar()->addMenu(tr("&View"));
  view->setObjectName(QStringLiteral("viewMenu"));
  QMenu* bars = view->addMenu(tr("Toolbars"));
  bars->setObjectName(QStringLiteral("toolbarsMenu"));
  view->addAction(action(Command::StatusBar));
  view->addAction(action(Command::MyProjects));
  view->addSeparator();
  view->addActions(modeGroup_->actions());
  view->addSeparator();
  view->addAction(action(Command::Search));
  view->addAction(action(Command::SearchResult));
  view->addSeparator();
  QMenu* font = view->addMenu(tr("Font"));
  font->addActions(zoomGroup_->actions());
  view->addAction(action(Command::ShowTag));
  view->addSeparator();
  view->addActions({action(Command::Stop), action(Command::Refresh)});

  QMenu* go = menuBar()->addMenu(tr("&Go"));
  go->addActions({action(Command::GoBack), action(Command::GoForward), action(Command::GoHome),
                  action(Command::Blank)});

  QMenu* favorites = menuBar()->addMenu(tr("F&avorites"));
  favorites->addActions({action(Command::AddToFavorites), action(Command::OrganizeFavorites)});
  favorites->addSeparator();

  QMenu* tools = menuBar()->addMenu(tr("&Tools"));
  tools->addActions({action(Command::PromptSaveSource), action(Command::HideScriptError)});
  tools->addSeparator();
  tools->addActions({action(Command::DefaultBrowser), action(Command::InternetOption)});

  QMenu* help = menuBar()->addMenu(tr("&Help"));
  help->addActions({action(Command::Contents), action(Command::TipOfTheDay), action(Command::CheckNewVersion),
                    action(Command::VisitSite)});
  help->addSeparator();
  help->addAction(action(Command::About));

  for (QMenu* menu : {file, edit, view, go, tools, help}) {
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::updateCommandStates);
  }
}

void CMainFrame::createToolBars() {
  toolBar_ = addToolBar(tr("Standard Bar"));
  toolBar_->setObjectName(QStringLiteral("StandardBar"));
  toolBar_->setIconSize(QSize(20, 20));
  toolBar_->addActions({action(Command::GoBack), action(Command::GoForward), action(Command::Stop),
                        action(Command::Refresh), action(Command::GoHome)});
  toolBar_->addSeparator();
  toolBar_->addActions({action(Command::MyProjects), action(Command::Browse), action(Command::Edit)});
  toolBar_->addSeparator();
  toolBar_->addActions({action(Command::Save), action(Command::Print)});
  addToolBarBreak();

  addressToolBar_ = addToolBar(tr("Address"));
  addressToolBar_->setObjectName(QStringLiteral("AddressBar"));
  addressToolBar_->addWidget(new QLabel(tr("Address") + QLatin1Char(' '), addressToolBar_));
  addressBar_ = new QComboBox(addressToolBar_);
  addressBar_->setObjectName(QStringLiteral("addressBar"));
  addressBar_->setEditable(true);
  addressBar_->setInsertPolicy(QComboBox::NoInsert);
  addressBar_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  addressBar_->setMinimumContentsLength(30);
  addressBar_->setFont(QApplication::font("QMessageBox"));
  auto* completer = new QCompleter(addressBar_->model(), addressBar_);
  completer->setCaseSensitivity(Qt::CaseInsensitive);
  completer->setCompletionMode(QCompleter::PopupCompletion);
  completer->setFilterMode(Qt::MatchStartsWith);
  addressBar_->setCompleter(completer);
  addressToolBar_->addWidget(addressBar_);
  // Esc in the address bar stops loading too.
  addressBar_->addAction(action(Command::Stop));
  connect(addressBar_->lineEdit(), &QLineEdit::returnPressed, this, &CMainFrame::onAddressEntered);
  connect(addressBar_, qOverload<int>(&QComboBox::activated), this, &CMainFrame::onAddressActivated);
  fillAddressBar();
  setAddressText(currentLocation_);

  QAction* toolbarShown = toolBar_->toggleViewAction();
  toolbarShown->setText(tr("Toolbar"));
  toolbarShown->setObjectName(QStringLiteral("command%1").arg(static_cast<int>(Command::Toolbar)));
  actions_[Command::Toolbar] = toolbarShown;
  QAction* addressShown = addressToolBar_->toggleViewAction();
  addressShown->setText(tr("Address bar"));
  addressShown->setObjectName(QStringLiteral("command%1").arg(static_cast<int>(Command::AddressBar)));
  actions_[Command::AddressBar] = addressShown;
  if (QMenu* bars = menuBar()->findChild<QMenu*>(QStringLiteral("toolbarsMenu"))) {
    bars->addActions({toolbarShown, addressShown});
    bars->addSeparator();
    bars->addAction(action(Command::Customize));
  }
}

void CMainFrame::createStatusBar() {
  statusBar()->showMessage(tr("Ready"));
  capsIndicator_ = indicator(tr("CAP"), statusBar());
  numIndicator_ = indicator(tr("NUM"), statusBar());
  scrollIndicator_ = indicator(tr("SCRL"), statusBar());
  for (QLabel* label : {capsIndicator_, numIndicator_, scrollIndicator_}) statusBar()->addPermanentWidget(label);
  action(Command::StatusBar)->setChecked(true);
  auto* poll = new QTimer(this);
  connect(poll, &QTimer::timeout, this, &CMainFrame::updateLockIndicators);
  poll->start(kLockPollMs);
  updateLockIndicators();
}

void CMainFrame::createDockBars() {
  searchBar_ = new QDockWidget(tr("Search"), this);
  searchBar_->setObjectName(QStringLiteral("SearchBar"));
  searchBar_->setAllowedAreas(Qt::AllDockWidgetAreas);
  searchBar_->setWidget(new QWidget(searchBar_));
  addDockWidget(Qt::RightDockWidgetArea, searchBar_);
  searchBar_->hide();

  buildBar_ = new velkin::uikit::CBuildProgressBar(this);
  buildBar_->setAllowedAreas(Qt::AllDockWidgetAreas);
  addDockWidget(Qt::BottomDockWidgetArea, buildBar_);
  buildBar_->hide();
  QAction* buildShown = buildBar_->toggleViewAction();
  buildShown->setText(tr("Show Build Progress..."));
  buildShown->setObjectName(QStringLiteral("command%1").arg(static_cast<int>(Command::ShowBuildProgress)));
  actions_[Command::ShowBuildProgress] = buildShown;
  if (QMenu* view = menuBar()->findChild<QMenu*>(QStringLiteral("viewMenu"))) {
    view->insertAction(action(Command::Search), buildShown);
  }
}

void CMainFrame::restoreBarStates() {
  if (const auto state = app::readProfileBinary(registry_, app::kRebarSection, app::kStateValue)) {
    if (!restoreState(QByteArray::fromStdString(*state), kStateVersion)) trace("bars", "RebarState not restored");
  }
  applyToolbarTextOption(static_cast<int>(
      app::readProfileNumber(registry_, app::kToolbarSection, app::kTextOptionsValue).value_or(kSelectiveText)));
  if (const auto state = app::readProfileBinary(registry_, app::kBuildProgressSection, app::kStateValue)) {
    if (!buildBar_->restoreBarState(QByteArray::fromStdString(*state))) trace("bars", "BuildProgress not restored");
  }
  searchBar_->hide();
  buildBar_->hide();
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
  action(Command::BuildChm)->setEnabled(treeShown_);
  action(Command::BuildHtml)->setEnabled(treeShown_);
  action(Command::MyProjects)->setChecked(treeShown_);
  action(Command::Browse)->setChecked(mode_ == Mode::Browse);
  action(Command::Edit)->setChecked(mode_ == Mode::Edit);
  action(Command::EditSource)->setChecked(mode_ == Mode::EditSource);
  action(Command::Save)->setEnabled(webView_->canSave());
  action(Command::GoBack)->setEnabled(webView_->backEnabled());
  action(Command::GoForward)->setEnabled(webView_->forwardEnabled());
  action(Command::Undo)->setEnabled(webView_->isEditing());
  action(Command::Redo)->setEnabled(webView_->isEditing());
  action(Command::ShowTag)->setChecked(settings_.showAllTags);
  action(Command::PromptSaveSource)->setChecked(settings_.promptSave);
  action(Command::HideScriptError)->setChecked(settings_.hideError);
  for (const app::ZoomCommand zoom : app::kZoomCommands) {
    action(static_cast<Command>(zoom.commandId))->setChecked(zoomStateCode_ == app::zoomStateCode(zoom.level));
  }
}

void CMainFrame::updateLockIndicators() {
  capsIndicator_->setEnabled(lockLedOn(QStringLiteral("capslock")));
  numIndicator_->setEnabled(lockLedOn(QStringLiteral("numlock")));
  scrollIndicator_->setEnabled(lockLedOn(QStringLiteral("scrolllock")));
}

void CMainFrame::onFocusChanged(QWidget*, QWidget* now) {
  if (now == nullptr) return;
  if (treeView_->isAncestorOf(now)) {
    activePane_ = Pane::Tree;
  } else if (now == webView_ || webView_->isAncestorOf(now)) {
    activePane_ = Pane::Content;
  }
}

void CMainFrame::activatePane(Pane pane) {
  if (pane == Pane::Tree && !treeShown_) pane = Pane::Content;
  activePane_ = pane;
  if (pane == Pane::Tree) {
    treeView_->treeCtrl()->setFocus(Qt::OtherFocusReason);
  } else {
    webView_->setFocus(Qt::OtherFocusReason);
  }
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

// ---------------------------------------------------------------- messages

void CMainFrame::onOpenPage(const QString& pathOrUrl) {
  if (pathOrUrl.isEmpty() || pathOrUrl == currentLocation_) return;
  leavePageThen([this, pathOrUrl] {
    currentLocation_ = pathOrUrl;
    webView_->navigate(pathOrUrl);
    setAddressText(pathOrUrl);
  });
}

void CMainFrame::onBuildOutput(int kind, const QString& text) {
  switch (kind) {
    case 1:
      setWindowTitle(text);
      break;
    case 2:
    case 3:
      buildBar_->appendChunk(text);
      buildBar_->show();
      buildBar_->raise();
      break;
    default:
      break;
  }
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
  leavePageThen([this, text] {
    currentLocation_ = text;
    webView_->navigate(text);
  });
}

void CMainFrame::showAddress(const QString& address) {
  leavePageThen([this, address] {
    currentLocation_ = address;
    webView_->navigate(address);
    setAddressText(address);
  });
}

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

// ---------------------------------------------------------------- commands

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

void CMainFrame::onSave() {
  const QString refusal = webView_->saveRefusal();
  if (!refusal.isEmpty()) {
    statusBar()->showMessage(refusal, 4000);
    return;
  }
  QPointer<CMainFrame> self(this);
  webView_->save([self](CTkWebView::SaveResult result, const QString& message) {
    if (self) self->reportSave(result, message, SaveRequest::Command);
  });
}

void CMainFrame::onSaveAs() {
  const QString path = seams_.chooseSavePath(webView_->location());
  if (path.isEmpty()) return;
  QPointer<CMainFrame> self(this);
  webView_->saveAs(path, [self](CTkWebView::SaveResult result, const QString& message) {
    if (self) self->reportSave(result, message, SaveRequest::Command);
  });
}

void CMainFrame::onSetBookDirectory() {
  const QString offered = QString::fromStdString(app::bookDirectoryToOffer(registry_));
  const QString chosen = seams_.chooseFolder(offered, offered);
  if (chosen.isEmpty()) return;
  if (!app::storeBookDirectory(registry_, QDir::cleanPath(chosen).toStdString())) {
    seams_.inform(velkin::kb::kCaptionKestrova, tr("The book directory could not be stored."));
    return;
  }
  emit treeRefresh();
}

void CMainFrame::onMyProjects() { setTreePaneShown(!treeShown_); }

void CMainFrame::onZoom(int level) {
  zoomStateCode_ = app::zoomStateCode(level);
  webView_->setZoomLevel(level);
  updateCommandStates();
}

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

void CMainFrame::onRename() {
  if (activePane_ == Pane::Tree && treeShown_) emit treeRename();
}

void CMainFrame::onTreeRefresh() {
  if (activePane_ == Pane::Tree && treeShown_) {
    emit treeRefresh();
  } else {
    leavePageThen([this] { webView_->reload(); });
  }
}

void CMainFrame::onContents() {
  const std::string help = app::shareFile("Contents.chm");
  if (help.empty() || !velkin::platform::isRegularFile(help)) {
    trace("contents", "Contents.chm is not in the share folder");
    statusBar()->showMessage(tr("The help file Contents.chm is not installed."), 4000);
    return;
  }
  seams_.openExternally(QUrl::fromLocalFile(QString::fromStdString(help)));
}

void CMainFrame::onTipOfTheDay() {
  velkin::uikit::CTipDialog dialog(registry_, app::profileSectionKey(app::kTipSection), app::shareFile("tips.txt"),
                                   this);
  dialog.exec();
}

void CMainFrame::onAbout() {
  velkin::uikit::CAboutDialog dialog(this, seams_.openExternally);
  dialog.exec();
}

void CMainFrame::onCustomize() {
  QDialog dialog(this);
  dialog.setWindowTitle(tr("Customize Toolbar"));
  auto* options = new QComboBox(&dialog);
  options->addItems({tr("Show text labels"), tr("Selective text on right"), tr("No text labels")});
  options->setCurrentIndex(toolbarTextOption_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QFormLayout(&dialog);
  layout->addRow(tr("Text options:"), options);
  layout->addRow(buttons);
  if (dialog.exec() == QDialog::Accepted) applyToolbarTextOption(options->currentIndex());
}

void CMainFrame::applyToolbarTextOption(int option) {
  toolbarTextOption_ = (option >= kTextLabels && option <= kNoTextLabels) ? option : kSelectiveText;
  static const Command selective[] = {Command::GoBack, Command::MyProjects, Command::Browse, Command::Edit};
  toolBar_->setToolButtonStyle(toolbarTextOption_ == kTextLabels ? Qt::ToolButtonTextUnderIcon
                                                                 : Qt::ToolButtonIconOnly);
  if (toolbarTextOption_ == kSelectiveText) {
    for (const Command command : selective) {
      if (auto* button = qobject_cast<QToolButton*>(toolBar_->widgetForAction(action(command)))) {
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
      }
    }
  }
}

void CMainFrame::onCut() {
  if (auto* edit = qobject_cast<QLineEdit*>(focusWidget())) {
    edit->cut();
  } else if (webView_->isAncestorOf(focusWidget()) || focusWidget() == webView_) {
    webView_->triggerPageAction(QWebEnginePage::Cut);
  }
}

void CMainFrame::onCopy() {
  if (auto* edit = qobject_cast<QLineEdit*>(focusWidget())) {
    edit->copy();
  } else if (webView_->isAncestorOf(focusWidget()) || focusWidget() == webView_) {
    webView_->triggerPageAction(QWebEnginePage::Copy);
  }
}

void CMainFrame::onPaste() {
  if (auto* edit = qobject_cast<QLineEdit*>(focusWidget())) {
    edit->paste();
  } else if (webView_->isAncestorOf(focusWidget()) || focusWidget() == webView_) {
    webView_->triggerPageAction(QWebEnginePage::Paste);
  }
}

// ---------------------------------------------------------------- closing

app::WindowPlacement CMainFrame::placement() const {
  app::WindowPlacement placement;
  const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
  placement.showCommand = isMaximized() ? app::kShowMaximized : app::kShowNormal;
  placement.normal = app::ScreenRect{normal.left(), normal.top(), normal.left() + normal.width(),
                                     normal.top() + normal.height()};
  return placement;
}

void CMainFrame::saveFrameState() {
  app::writeProfileBinary(registry_, app::kRebarSection, app::kStateValue, saveState(kStateVersion).toStdString());
  app::writeProfileNumber(registry_, app::kToolbarSection, app::kTextOptionsValue,
                          static_cast<std::uint32_t>(toolbarTextOption_));
  app::writeProfileBinary(registry_, app::kBuildProgressSection, app::kStateValue,
                          buildBar_->saveBarState().toStdString());
  app::writePlacement(registry_, placement());
}

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
