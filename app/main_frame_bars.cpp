// CMainFrame: the menus, the toolbars, the status bar, the docking bars
// and the bar states written when the window closes.
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "app/main_frame.h"
#include "app/main_frame_internal.h"
#include "platform/trace.h"
#include "uikit/build_progress_bar.h"

namespace {

namespace app = velkin::app;
using namespace velkin::app::frame;
using velkin::platform::trace;
using Command = CMainFrame::Command;

constexpr int kLockPollMs = 1000;

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

// ---------------------------------------------------------------- menus

void CMainFrame::createMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->setObjectName(QStringLiteral("fileMenu"));
  file->addActions({action(Command::New), action(Command::Open), action(Command::Save), action(Command::SaveAs)});
  file->addSeparator();
  file->addActions({action(Command::Print), action(Command::PrintPreview), action(Command::PrintSetup)});
  file->addSeparator();
  file->addActions({action(Command::SetBookDirectory), action(Command::BuildChm), action(Command::BuildHtml)});
  file->addSeparator();
  file->addActions({action(Command::RecentFile1), action(Command::RecentFile2), action(Command::RecentFile3),
                    action(Command::RecentFile4)});
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

  favoritesMenu_ = menuBar()->addMenu(tr("F&avorites"));
  favoritesMenu_->setObjectName(QStringLiteral("favoritesMenu"));
  favoritesMenu_->addActions({action(Command::AddToFavorites), action(Command::OrganizeFavorites)});
  connect(favoritesMenu_, &QMenu::aboutToShow, this, &CMainFrame::buildFavoritesMenu);

  QMenu* tools = menuBar()->addMenu(tr("&Tools"));
  tools->setObjectName(QStringLiteral("toolsMenu"));
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
  connect(file, &QMenu::aboutToShow, this, &CMainFrame::updateRecentFiles);
  connect(tools, &QMenu::aboutToShow, this, &CMainFrame::updateDefaultBrowserState);
}

// ---------------------------------------------------------------- toolbars

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

// ---------------------------------------------------------------- status bar

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

void CMainFrame::updateLockIndicators() {
  capsIndicator_->setEnabled(lockLedOn(QStringLiteral("capslock")));
  numIndicator_->setEnabled(lockLedOn(QStringLiteral("numlock")));
  scrollIndicator_->setEnabled(lockLedOn(QStringLiteral("scrolllock")));
}

// ---------------------------------------------------------------- docking bars

void CMainFrame::createDockBars() {
  createSearchBar();

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

// ---------------------------------------------------------------- bar states

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
