// CMainFrame: the main window of kestrova. It holds the toolbar and the
// address bar, the status bar, a splitter with the project tree view on the
// left and the web view on the right, the search bar and the build progress
// bar, and handles the commands of the main menu: most go to the web view,
// some to the project tree.
//
// The frame follows the content view's location: the current location is
// the page last opened, typed or shown (about:blank included). Opening the
// current location again (onOpenPage) does nothing. Browse and Edit keep the
// same web view; leaving Edit, opening another page while editing and
// closing the window first write the edited page back to its file when it
// has edits (CTkWebView::save). Edits that may not be written (the page was
// moved or deleted, or is no HTML page) are reported and the page is left; a
// write that fails keeps the page on screen unless the user leaves it anyway.
// Save is enabled only for HTML pages of the local disk.
//
// Edit Source shows the page's HTML source (CKestrovaView) in the web
// view's place: a local page's file, or a web page's text as the browser
// holds it. Leaving it (Browse, Edit, opening a page, closing the window)
// runs its save prompt first and shows the page again.
//
// The commands the frame forwards to the project tree leave it as signals
// (treeRename, treeRefresh, treeBuildChm, treeBuildHtml) connected to the
// tree's slots. Dialogs that pick files and folders, and opening addresses
// in the desktop's programs, go through Seams so tests can answer them.
//
// Settings: the toggles live in SOFTWARE\Kestrova (machine root), the typed
// addresses under TypedURLs, bar states and the window placement in the
// profile area (app_settings.h). Bar states are read at creation and written,
// with the placement, when the window closes.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>
#include <vector>
#include <map>
#include <optional>

#include "app/app_settings.h"
#include "app/source_view.h"
#include "app/search_bar.h"
#include "app/tk_web_view.h"
#include "kb/page_filter.h"
#include "platform/favorites.h"
#include "platform/registry.h"

class CProjectTreeCtrl;
class CTkTreeView;
class QAction;
class QActionGroup;
class QComboBox;
class QDockWidget;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QToolBar;

namespace velkin::uikit {
class CBuildProgressBar;
}

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  // The commands of the main menu and the accelerators, by their numbers.
  enum class Command : int {
    Save = 32850,
    SaveAs = 32851,
    SetBookDirectory = 32783,
    BuildChm = 32784,
    BuildHtml = 32785,
    Toolbar = 59392,
    StatusBar = 59393,
    AddressBar = 32779,
    Customize = 57855,
    MyProjects = 32802,
    Browse = 32804,
    Edit = 32805,
    EditSource = 32806,
    ShowBuildProgress = 32857,
    Search = 32867,
    SearchResult = 32868,
    ShowTag = 32816,
    PromptSaveSource = 32871,
    HideScriptError = 32872,
    GoForward = 32798,
    GoBack = 32799,
    GoHome = 32820,
    Blank = 32821,
    Stop = 32822,
    Refresh = 32823,
    TreeRefresh = 32797,
    Rename = 32796,
    FontLargest = 32825,
    FontLarger = 32826,
    FontMedium = 32827,
    FontSmaller = 32828,
    FontSmallest = 32829,
    DefaultBrowser = 32852,
    InternetOption = 32830,
    AddToFavorites = 32853,
    OrganizeFavorites = 32855,
    Contents = 32856,
    TipOfTheDay = 32831,
    CheckNewVersion = 32870,
    About = 57664,
    VisitSite = 32832,
    Undo = 57643,
    Redo = 57644,
    Cut = 57635,
    Copy = 57634,
    Paste = 57637,
    Print = 57607,
    PrintPreview = 57609,
    PrintSetup = 57606,
    NextPane = 57680,
    PreviousPane = 57681,
    Exit = 57665,
    New = 57600,
    Open = 57601,
    // The recent files of the File menu, most recent first.
    RecentFile1 = 57616,
    RecentFile2 = 57617,
    RecentFile3 = 57618,
    RecentFile4 = 57619,
  };
  // The desktop entry that makes kestrova a browser of the desktop.
  static constexpr char kDesktopEntry[] = "velkin-kestrova.desktop";
  // The favourites of the Favorites menu: kFirstFavorite + their number.
  static constexpr int kFirstFavorite = 3584;
  enum class Mode { Browse = 32804, Edit = 32805, EditSource = 32806 };
  enum class Pane { Tree, Content };

  struct Seams {
    // The folder browser: title and starting folder in, the chosen folder
    // out ("" for Cancel).
    std::function<QString(const QString& title, const QString& folder)> chooseFolder;
    // The Save As file dialog: a proposed path in, the chosen one out.
    std::function<QString(const QString& proposed)> chooseSavePath;
    // Opens an address or a file with the desktop's program for it.
    std::function<void(const QUrl& address)> openExternally;
    // Shows a message to the user (caption, text).
    std::function<void(const char* caption, const QString& text)> inform;
    // Asks a Yes/No question; true for Yes.
    std::function<bool(const char* caption, const QString& text)> ask;
    // The Search Options dialog: the filter chosen, nullopt for Cancel.
    std::function<std::optional<velkin::kb::PageFilter>()> askSearch;
    // The question on leaving the HTML source with changes.
    std::function<CKestrovaView::SaveAnswer()> askSaveSource;
    // The Open file dialog for pages: the chosen path, "" for Cancel.
    std::function<QString()> chooseOpenPath;
    // Runs xdg-settings with arguments: its output, trimmed, or nullopt when
    // it is missing, fails or does not end in time.
    std::function<std::optional<QString>(const QStringList& arguments)> xdgSettings;
    // Where the help book is looked for ("" when no share folder is known).
    std::function<std::string()> helpBook;
  };

  explicit CMainFrame(velkin::platform::Registry& registry, QWidget* parent = nullptr);
  ~CMainFrame() override;

  // Replaces the seams that are set in seams.
  void setSeams(Seams seams);

  // Shows page in the web view (the start page when empty) after reading
  // the web view's settings.
  void initialUpdate(const QString& page = {});

  QAction* action(Command command) const;
  CTkTreeView* treeView() const { return treeView_; }
  CTkWebView* webView() const { return webView_; }
  // The HTML source view while in Edit Source mode, else nullptr.
  CKestrovaView* sourceView() const { return sourceView_; }
  QComboBox* addressBar() const { return addressBar_; }
  QToolBar* toolBar() const { return toolBar_; }
  QToolBar* addressToolBar() const { return addressToolBar_; }
  velkin::uikit::CBuildProgressBar* buildProgressBar() const { return buildBar_; }
  CSearchBar* searchBar() const { return searchBar_; }
  QSplitter* splitter() const { return splitter_; }
  QMenu* favoritesMenu() const { return favoritesMenu_; }
  // The folder the Favorites menu shows.
  QString favoritesFolder() const;

  const QString& currentLocation() const { return currentLocation_; }
  Mode mode() const { return mode_; }
  int zoomStateCode() const { return zoomStateCode_; }
  bool treePaneShown() const { return treeShown_; }
  Pane activePane() const { return activePane_; }
  const velkin::app::FrameSettings& settings() const { return settings_; }

  // The address bar's text for a location ("file://" dropped).
  void setAddressText(const QString& location);
  // Fills the address bar's list from the typed addresses.
  void fillAddressBar();

  // The pane whose commands Rename and Refresh reach; follows the focus.
  void activatePane(Pane pane);
  void setTreePaneShown(bool shown);

  // The window placement as written when the window closes.
  velkin::app::WindowPlacement placement() const;
  // Writes the bar states and the window placement.
  void saveFrameState();

 public slots:
  // WM_OPENPAGE: shows a path or an address, unless it is already the
  // current location.
  void onOpenPage(const QString& pathOrUrl);
  // WM_BUILDOUTPUT: kind 1 sets the window title, 2 and 3 append the text to
  // the build progress bar and show it; other kinds are ignored.
  void onBuildOutput(int kind, const QString& text);

  void onBrowse();
  void onEdit();
  void onEditSource();
  void onSave();
  void onSaveAs();
  void onSetBookDirectory();
  void onMyProjects();
  void onZoom(int level);
  void onShowTag();
  void onPromptSaveSource();
  void onHideScriptError();
  void onRename();
  void onTreeRefresh();
  void onContents();
  void onTipOfTheDay();
  void onAbout();
  void onCustomize();
  // Search ...: the Search Options dialog; on OK the search bar's tree
  // takes its filter and the bar is shown.
  void onSearch();
  // Search Result: shows the search bar when hidden, hides it when shown.
  void onSearchResult();
  void onCheckNewVersion();

 signals:
  // Commands forwarded to the project tree.
  void treeRename();
  void treeRefresh();
  void treeBuildChm();
  void treeBuildHtml();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // The frame's code is split by concern, one file each:
  //   main_frame.cpp           creation, seams, panes, address bar, command states
  //   main_frame_commands.cpp  the command table and the plain command handlers
  //   main_frame_bars.cpp      menus, toolbars, status bar, docking bars, bar states
  //   main_frame_modes.cpp     view modes, opening locations, saving on leaving, close
  //   main_frame_settings.cpp  the setting toggles, text zoom and the tree pane
  //   main_frame_favorites.cpp the Favorites menu, Add to and Organize Favorites
  //   main_frame_files.cpp     New, Open and the recent files
  //   main_frame_search.cpp    the search bar and its commands, the new-version check
  //   main_frame_tools.cpp     Default Browser and Internet Option

  // main_frame.cpp
  void createClientArea();
  void updateCommandStates();
  void onFocusChanged(QWidget* old, QWidget* now);
  void switchPane(int step);

  // main_frame_commands.cpp
  void createActions();
  QAction* addCommand(Command command, const QString& text, const QString& icon = {});
  void onCut();
  void onCopy();
  void onPaste();
  // Runs a clipboard command (the slot onField) on the focused text field or
  // source editor, or on the page when the web view has the focus.
  void clipboardCommand(const char* onField, QWebEnginePage::WebAction onPage);

  // main_frame_bars.cpp
  void createMenus();
  void createToolBars();
  void createStatusBar();
  void createDockBars();
  void restoreBarStates();
  void updateLockIndicators();
  void applyToolbarTextOption(int option);

  // main_frame_modes.cpp
  void onAddressEntered();
  void onAddressActivated(int index);
  void goToAddress(const QString& text);
  // Navigates the browser to address and shows it in the address bar.
  void showAddress(const QString& address);
  // The one way to another location: leaves the page shown (leavePageThen),
  // makes where the current location, navigates there and, when asked,
  // shows it in the address bar, then runs then. Every command that opens
  // a page ends here.
  void openLocation(const QString& where, bool showInAddressBar, std::function<void()> then = {});
  // Runs leave at once, or in Edit mode after the page is saved. When the
  // write fails, leave runs only if the user chooses to leave the page
  // anyway; otherwise the edits stay on screen.
  void leavePageThen(std::function<void()> leave);
  // Whether a save was asked for (Save, Save As) or comes with leaving the
  // page: leaving says nothing about a page without edits.
  enum class SaveRequest { Command, Leaving };
  void reportSave(CTkWebView::SaveResult result, const QString& message, SaveRequest request);
  void showScriptError(const QString& message);
  // Edit Source: the page's source in place of the web view, from its file
  // for a local page, else as the browser holds it.
  void takeSource();
  CKestrovaView* showSourceView();
  // Leaves the source view after the save prompt and shows the web view in
  // its place again (not yet navigated). False when the user keeps the
  // source on screen.
  bool closeSourceView();
  // The content pane's view: the source view in Edit Source, else the web
  // view.
  QWidget* contentView() const;
  // Shows to in from's place of the splitter with from's width (putting it
  // beside from first when it is not in the splitter yet) and hides from, so
  // the tree pane keeps its width when the content view changes.
  void swapContentView(QWidget* from, QWidget* to);

  // main_frame_settings.cpp
  void createZoomCommands();

  // main_frame_favorites.cpp
  // Fills the Favorites menu from the favourites folder, once; a change
  // (Add to, Organize) asks for the next opening to read it again.
  void buildFavoritesMenu();
  void addFavoriteItems(QMenu* menu, const velkin::platform::FavoriteFolder& folder);
  void onAddToFavorites();
  void onOrganizeFavorites();

  // main_frame_files.cpp
  void onNew();
  void onOpen();
  void openRecentFile(std::size_t index);
  void rememberRecentFile(const QString& path);
  void updateRecentFiles();

  // main_frame_tools.cpp
  void onDefaultBrowser();
  void updateDefaultBrowserState();
  void onInternetOption();
  void applyInternetOptions();

  // main_frame_search.cpp
  void createSearchBar();
  // The search bar's tree when it has the focus (Rename and Refresh go
  // there then), else nullptr.
  CProjectTreeCtrl* focusedSearchTree() const;

  velkin::platform::Registry& registry_;
  velkin::app::FrameSettings settings_;
  Seams seams_;
  std::map<Command, QAction*> actions_;
  QActionGroup* modeGroup_ = nullptr;
  QActionGroup* zoomGroup_ = nullptr;

  QToolBar* toolBar_ = nullptr;
  QToolBar* addressToolBar_ = nullptr;
  QComboBox* addressBar_ = nullptr;
  QLabel* capsIndicator_ = nullptr;
  QLabel* numIndicator_ = nullptr;
  QLabel* scrollIndicator_ = nullptr;
  velkin::uikit::CBuildProgressBar* buildBar_ = nullptr;
  CSearchBar* searchBar_ = nullptr;
  QSplitter* splitter_ = nullptr;
  CTkTreeView* treeView_ = nullptr;
  CTkWebView* webView_ = nullptr;
  QPointer<CKestrovaView> sourceView_;
  // Edit Source waits for the browser's text of the page.
  bool sourcePending_ = false;

  QString currentLocation_;
  Mode mode_ = Mode::Browse;
  int zoomStateCode_ = velkin::app::kMediumZoomStateCode;
  bool treeShown_ = true;
  Pane activePane_ = Pane::Tree;
  int toolbarTextOption_ = 0;
  bool closeSaveDone_ = false;
  bool saving_ = false;
  QPointer<QWidget> scriptErrorBox_;
  QString lastAddressHandled_;
  QMenu* favoritesMenu_ = nullptr;
  bool favoritesBuilt_ = false;
  bool addressHandledThisTurn_ = false;
};
