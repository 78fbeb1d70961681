// CTkWebView: the content view of the main window in Browse and Edit modes.
// It shows web pages and pages of the knowledge base, keeps the frame's
// address bar in step with navigation (addressChanged), lets the user edit a
// page in place (the document's design mode, kept across navigation while in
// edit state) and writes the edited document back to its own file.
//
// Saving writes the document's markup through the HTML serialiser, keeps the
// capture header lines the page file starts with (the browser turns them into
// elements of its own, which are left out), and replaces the file through a
// temporary file. Save writes a document back only when all of these hold:
// it was changed in edit state (its markup differs from the markup it had
// when it first became editable, or when it was last written); it is an
// .htm or .html file of the local disk, not one of the program's own files
// (the welcome page); and the file it was loaded from is still the one at
// its path (a page moved, deleted or replaced meanwhile is not written back
// there). Saving is asynchronous: the result arrives through the callback
// and saveFinished.
//
// CWebPage is the view's page: with the silent property set (HideError),
// script errors and script dialogs are not shown.
#pragma once

#include <QPrinter>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace velkin::app {

// The capture header lines at the start of a page file (or right after its
// leading document type declaration line), as they are written there (each
// with its line end), or "" when the file does not start with them. Lines of the header that are present in order are kept even when the
// later ones are missing.
std::string leadingCaptureHeader(std::string_view fileText);

// The text written for a saved page: the header and then the markup (the
// header after the markup's leading document type declaration, as captured
// pages are written), with the markup's leading line breaks dropped.
std::string savedPageText(std::string_view header, std::string_view markup);

// True when path lies inside folder (or is folder itself).
bool isInsideFolder(std::string_view path, std::string_view folder);

// True for a file name ending in ".htm" or ".html" (any case): the only
// documents Save writes back.
bool isHtmlPagePath(std::string_view path);

// Which file a path names (device and inode), to tell whether the file shown
// is still the one at its path; nullopt when nothing is there.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity& other) const { return device == other.device && inode == other.inode; }
};
std::optional<FileIdentity> fileIdentityOf(const std::string& path);

}  // namespace velkin::app

class CWebPage : public QWebEnginePage {
  Q_OBJECT

 public:
  explicit CWebPage(QObject* parent = nullptr);

  void setSilent(bool on) { silent_ = on; }
  bool isSilent() const { return silent_; }

 signals:
  // A script error the user should see (only when not silent).
  void scriptError(const QString& message);
  // The main frame is about to load url (before navigation).
  void navigationRequested(const QUrl& url);

 protected:
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
                                const QString& sourceId) override;
  void javaScriptAlert(const QUrl& securityOrigin, const QString& message) override;
  bool javaScriptConfirm(const QUrl& securityOrigin, const QString& message) override;
  bool javaScriptPrompt(const QUrl& securityOrigin, const QString& message, const QString& defaultValue,
                        QString* result) override;
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

 private:
  bool silent_ = true;
};

class CTkWebView : public QWebEngineView {
  Q_OBJECT

 public:
  enum class SaveResult { Saved, Unchanged, NotSaved, Failed };
  // Unchanged: the document has no edits to write; nothing was written.
  // NotSaved: it has edits, but it may not be written back (not an HTML page
  // of the local disk, one of the program's own files, or its file moved,
  // deleted or replaced); nothing was written, message tells why.
  // Failed: writing went wrong; message tells why.
  using SaveDone = std::function<void(SaveResult result, const QString& message)>;

  explicit CTkWebView(velkin::platform::Registry& registry, QWidget* parent = nullptr);

  // Reads HideError into the silent property and shows firstAddress, or the
  // start page when it is empty.
  void initialUpdate(const QString& firstAddress = {});
  void navigate(const QString& address);

  // The browser's location as the address bar shows it: a local path or an
  // address; and the page's title.
  QString location() const;
  QString locationName() const;

  void setBrowseState();
  void setEditState();
  bool isEditing() const { return editing_; }

  // Outlines every element and labels it with its tag name.
  void showTags(bool on);
  bool tagsShown() const { return showTags_; }

  void setSilent(bool on);
  bool isSilent() const;

  // Writes the document back to its own file when it was changed and may
  // be written (see above).
  void save(SaveDone done = {});
  // Why the document shown can never be written back by save ("" when it is
  // an HTML page of the local disk that is not one of the program's files).
  QString saveRefusal() const;
  bool canSave() const { return saveRefusal().isEmpty(); }
  // Writes the document to path (the capture header of its own file kept).
  void saveAs(const QString& path, SaveDone done = {});

  bool backEnabled() const { return backEnabled_; }
  bool forwardEnabled() const { return forwardEnabled_; }
  void goHome();
  // Text zoom level 0 (smallest) to 4 (largest).
  void setZoomLevel(int level);

  CWebPage* webPage() const { return page_; }

  // The welcome page shipped with the program (about:blank without one).
  static QString startPage();
  // The address for a path or an address typed by the user, and back.
  static QUrl urlFor(const QString& address);
  static QString locationOf(const QUrl& url);

 public slots:
  void onUndo();
  void onRedo();
  void onPrint();
  void onPrintPreview();
  void onPageSetup();

 signals:
  // The address bar should show this location (navigation starting or done).
  void addressChanged(const QString& location);
  // A navigation has completed at this location (about:blank included).
  void locationChanged(const QString& location);
  void historyStateChanged(bool backEnabled, bool forwardEnabled);
  // Every save and save-as ends with this; ok when the file was written.
  void saveFinished(const QString& path, bool ok, const QString& message);
  void scriptError(const QString& message);

 private:
  void onLoadFinished(bool ok);
  void applyDesignMode();
  void applyTagStyle();
  void updateHistoryState();
  // The document's markup as saving writes it, with the number the document
  // was given when it first became editable (0 when it never was).
  struct Snapshot {
    QUrl source;
    int document = 0;
    QString html;
    std::string header;  // the capture header of the source file, kept when written
  };
  using SnapshotDone = std::function<void(const Snapshot& snapshot)>;
  // The markup of the document of that number when it first became editable
  // or was last written to its own file: edits are told by it.
  struct Baseline {
    int document = 0;
    QString html;
  };

  // Reads the document's markup and hands it to next; when another page has
  // been loaded meanwhile, ends the save as Failed (naming failPath, or the
  // location) instead.
  void takeSnapshot(const QString& failPath, const SaveDone& done, SnapshotDone next);
  // Why the edits of the document may not be written to its file now ("" when
  // they may).
  QString writeBackRefusal() const;
  void writeSnapshot(const QString& path, const Snapshot& snapshot, const SaveDone& done);
  void finishSave(const QString& path, SaveResult result, const QString& message, const SaveDone& done);
  // The capture header lines of the shown page's file ("" without them).
  std::string sourceHeader() const;
  // Notes which file the shown local page is (shownFile_).
  void rememberShownFile();

  velkin::platform::Registry& registry_;
  CWebPage* page_ = nullptr;
  QPrinter printer_;
  bool editing_ = false;
  bool showTags_ = false;
  bool backEnabled_ = false;
  bool forwardEnabled_ = false;
  bool printing_ = false;
  Baseline baseline_;
  int nextDocument_ = 0;
  // The file the shown local page was loaded from (or last written to).
  std::optional<velkin::app::FileIdentity> shownFile_;
};
