#include "app/tk_web_view.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QVariantMap>
#include <QWebEngineHistory>
#include <QWebEngineScript>

#include <sys/stat.h>

#include "app/app_settings.h"
#include "capture/html_serializer.h"
#include "kb/meta.h"
#include "platform/file_util.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::app {
namespace {

// The header lines in the order a captured page starts with them; compared
// without regard to case.
constexpr std::string_view kHeaderLineStarts[] = {
    "<META -----Welcome",
    "<META -----Velkin web",
    "<META NAME=pageurl",
};

}  // namespace

std::string leadingCaptureHeader(std::string_view fileText) {
  // A page with a document type declaration has the header right after it.
  std::size_t headerStart = kb::leadingDoctypeEnd(fileText);
  if (headerStart > 0 && fileText.substr(headerStart, 2) == "\r\n") headerStart += 2;
  else if (headerStart > 0 && fileText.substr(headerStart, 1) == "\n") headerStart += 1;
  std::size_t offset = headerStart;
  for (const std::string_view start : kHeaderLineStarts) {
    const std::string_view rest = fileText.substr(offset);
    if (rest.size() < start.size() || !platform::equalsIgnoreCase(rest.substr(0, start.size()), start)) break;
    const std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) {
      offset = fileText.size();
      break;
    }
    offset += end + 1;
  }
  return std::string(fileText.substr(headerStart, offset - headerStart));
}

std::string savedPageText(std::string_view header, std::string_view markup) {
  while (!markup.empty() && (markup.front() == '\r' || markup.front() == '\n')) markup.remove_prefix(1);
  std::string lines(header);
  if (!lines.empty() && lines.back() != '\n') lines += "\r\n";
  return kb::withCaptureHeader(lines, markup);
}

bool isInsideFolder(std::string_view path, std::string_view folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
  if (folder.empty() || path.size() < folder.size() || path.substr(0, folder.size()) != folder) return false;
  return path.size() == folder.size() || path[folder.size()] == '/' || folder == "/";
}

bool isHtmlPagePath(std::string_view path) {
  const std::string_view name = path.substr(path.find_last_of('/') + 1);
  return (name.size() > 4 && platform::endsWithIgnoreCase(name, ".htm")) ||
         (name.size() > 5 && platform::endsWithIgnoreCase(name, ".html"));
}

std::optional<FileIdentity> fileIdentityOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace velkin::app

namespace {

using velkin::platform::trace;

constexpr char kTagStyleId[] = "velkin-show-tags";

// Elements labelled with their tag name when tags are shown. Table rows and
// sections are only outlined: content before them would break the table.
constexpr const char* kLabelledTags[] = {
    "a",      "abbr",    "address", "article", "aside",  "b",      "big",    "blockquote", "caption",
    "center", "cite",    "code",    "dd",      "del",    "dfn",    "div",    "dl",         "dt",
    "em",     "fieldset", "figcaption", "figure", "font", "footer", "form",  "h1",         "h2",
    "h3",     "h4",      "h5",      "h6",      "header", "i",      "ins",    "kbd",        "label",
    "legend", "li",      "main",    "mark",    "nav",    "ol",     "p",      "pre",        "q",
    "s",      "samp",    "section", "small",   "span",   "strike", "strong", "sub",        "sup",
    "td",     "th",      "tt",      "u",       "ul",     "var",
};

QString tagStyleSheet() {
  QString css = QStringLiteral(
      "body *{outline:1px dotted rgba(40,60,160,.6)!important;outline-offset:-1px!important}");
  QStringList selectors;
  for (const char* tag : kLabelledTags) {
    const QString name = QString::fromLatin1(tag);
    css += QStringLiteral("%1::before{content:\"%2\"!important}").arg(name, name.toUpper());
    selectors << name + QStringLiteral("::before");
  }
  css += selectors.join(QLatin1Char(',')) +
         QStringLiteral("{display:inline-block!important;font:bold 9px/11px sans-serif!important;"
                        "color:#fff!important;background:#3c5aa0!important;padding:0 2px!important;"
                        "margin:0 2px 0 0!important;border-radius:2px!important;vertical-align:top!important;"
                        "text-decoration:none!important;text-transform:none!important;"
                        "font-style:normal!important;white-space:nowrap!important}");
  return css;
}

// A text as a JavaScript string literal.
QString jsString(const QString& text) {
  QString out = QStringLiteral("\"");
  for (const QChar c : text) {
    if (c == QLatin1Char('"') || c == QLatin1Char('\\')) {
      out += QLatin1Char('\\');
      out += c;
    } else if (c == QLatin1Char('\n')) {
      out += QStringLiteral("\\n");
    } else if (c == QLatin1Char('\r')) {
      out += QStringLiteral("\\r");
    } else {
      out += c;
    }
  }
  out += QLatin1Char('"');
  return out;
}

// The document's markup for saving, taken from a copy so the shown document
// stays as it is: without the tag style, without the elements the browser
// made of the capture header lines (when the file has them), declared as
// UTF-8 (the file is written in UTF-8 whatever the page was read as). It
// comes with the number the document was given when it became editable.
constexpr char kSnapshotFunction[] = R"JS(
function (stripHeader) {
  var root = document.documentElement.cloneNode(true);
  var tagStyle = root.querySelector('#velkin-show-tags');
  if (tagStyle) tagStyle.remove();
  var drop = function (node) {
    var next = node.nextSibling;
    if (next && next.nodeType === Node.TEXT_NODE && !next.data.trim()) next.remove();
    node.remove();
  };
  if (stripHeader) {
    var metas = root.querySelectorAll('meta');
    var pageUrlDropped = false;
    for (var i = 0; i < metas.length; ++i) {
      var meta = metas[i];
      var first = meta.attributes.length ? meta.attributes[0].name : '';
      if (first.indexOf('-----') === 0) { drop(meta); continue; }
      if (!pageUrlDropped && (meta.getAttribute('name') || '').toLowerCase() === 'pageurl') {
        drop(meta);
        pageUrlDropped = true;
      }
    }
  }
  if ((document.characterSet || '').toUpperCase() !== 'UTF-8') {
    var declared = false;
    root.querySelectorAll('meta').forEach(function (meta) {
      if (meta.hasAttribute('charset')) { meta.setAttribute('charset', 'utf-8'); declared = true; }
      else if ((meta.getAttribute('http-equiv') || '').toLowerCase() === 'content-type') {
        meta.setAttribute('content', 'text/html; charset=utf-8'); declared = true;
      }
    });
    var head = root.querySelector('head');
    if (!declared && head) {
      var charset = document.createElement('meta');
      charset.setAttribute('charset', 'utf-8');
      head.insertBefore(charset, head.firstChild);
    }
  }
  var doctype = document.doctype ? new XMLSerializer().serializeToString(document.doctype) : '';
  return { href: location.href, html: doctype + root.outerHTML, doc: window.velkinDocument || 0 };
}
)JS";

// Turns the design mode on or off. The first time a document becomes
// editable it is given a number (kept in this script world, out of the
// page's reach) and its markup is returned as the baseline its edits are
// told by; in the same script, so no edit can come in between.
constexpr char kDesignModeScript[] = R"JS(
(function (editing, current, fresh, stripHeader, snapshot) {
  document.designMode = editing ? 'on' : 'off';
  if (!editing || window.velkinDocument === current) return null;
  window.velkinDocument = fresh;
  return snapshot(stripHeader);
})
)JS";

QString jsBool(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

QUrl withoutFragment(const QUrl& url) { return url.adjusted(QUrl::RemoveFragment); }

}  // namespace

CWebPage::CWebPage(QObject* parent) : QWebEnginePage(parent) {}

void CWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                        int lineNumber, const QString& sourceId) {
  if (level != ErrorMessageLevel) return;
  const QString text = QStringLiteral("%1 (%2, line %3)").arg(message, sourceId).arg(lineNumber);
  trace("script error", text.toStdString());
  if (!silent_) emit scriptError(text);
}

void CWebPage::javaScriptAlert(const QUrl& securityOrigin, const QString& message) {
  if (!silent_) QWebEnginePage::javaScriptAlert(securityOrigin, message);
}

bool CWebPage::javaScriptConfirm(const QUrl& securityOrigin, const QString& message) {
  return !silent_ && QWebEnginePage::javaScriptConfirm(securityOrigin, message);
}

bool CWebPage::javaScriptPrompt(const QUrl& securityOrigin, const QString& message, const QString& defaultValue,
                                QString* result) {
  return !silent_ && QWebEnginePage::javaScriptPrompt(securityOrigin, message, defaultValue, result);
}

bool CWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
  if (isMainFrame) emit navigationRequested(url);
  return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

CTkWebView::CTkWebView(velkin::platform::Registry& registry, QWidget* parent)
    : QWebEngineView(parent), registry_(registry) {
  page_ = new CWebPage(this);
  setPage(page_);
  connect(page_, &CWebPage::scriptError, this, &CTkWebView::scriptError);
  connect(page_, &CWebPage::navigationRequested, this,
          [this](const QUrl& url) { emit addressChanged(locationOf(url)); });
  connect(this, &QWebEngineView::loadFinished, this, &CTkWebView::onLoadFinished);
  connect(this, &QWebEngineView::urlChanged, this, &CTkWebView::updateHistoryState);
  connect(this, &QWebEngineView::printFinished, this, [this](bool) { printing_ = false; });
}

void CTkWebView::initialUpdate(const QString& firstAddress) {
  setSilent(velkin::app::readHideError(registry_));
  navigate(firstAddress.isEmpty() ? startPage() : firstAddress);
}

void CTkWebView::navigate(const QString& address) {
  const QUrl url = urlFor(address);
  if (!url.isValid()) {
    trace("navigate", "not an address: " + address.toStdString());
    return;
  }
  load(url);
}

QString CTkWebView::location() const { return locationOf(url()); }

QString CTkWebView::locationName() const { return title(); }

void CTkWebView::setBrowseState() {
  editing_ = false;
  applyDesignMode();
}

void CTkWebView::setEditState() {
  editing_ = true;
  applyDesignMode();
}

void CTkWebView::showTags(bool on) {
  showTags_ = on;
  applyTagStyle();
}

void CTkWebView::setSilent(bool on) { page_->setSilent(on); }

bool CTkWebView::isSilent() const { return page_->isSilent(); }

void CTkWebView::save(SaveDone done) {
  QPointer<CTkWebView> self(this);
  takeSnapshot(QString(), done, [self, done](const Snapshot& snapshot) {
    if (!self) return;
    const QString path = snapshot.source.isLocalFile() ? snapshot.source.toLocalFile() : QString();
    if (snapshot.html.isEmpty()) {
      if (self->editing_) {
        self->finishSave(path, SaveResult::Failed, tr("The document could not be read for saving."), done);
      } else {
        self->finishSave(path, SaveResult::Unchanged, QString(), done);
      }
      return;
    }
    const bool changed = snapshot.document != 0 && snapshot.document == self->baseline_.document &&
                         snapshot.html != self->baseline_.html;
    if (!changed) {
      self->finishSave(path, SaveResult::Unchanged, tr("There are no changes to save."), done);
      return;
    }
    const QString refusal = self->writeBackRefusal();
    if (!refusal.isEmpty()) {
      self->finishSave(path, SaveResult::NotSaved, refusal, done);
      return;
    }
    self->writeSnapshot(path, snapshot, done);
  });
}

QString CTkWebView::saveRefusal() const {
  const QUrl current = url();
  if (!current.isLocalFile()) return tr("Only pages of the local disk are saved.");
  const QString path = current.toLocalFile();
  if (!velkin::app::isHtmlPagePath(path.toStdString())) {
    return tr("Only .htm and .html pages are saved; %1 is left as it is.").arg(path);
  }
  const std::string programFiles = velkin::app::shareFolder();
  if (!programFiles.empty() && velkin::app::isInsideFolder(path.toStdString(), programFiles)) {
    return tr("The program's own pages are not saved.");
  }
  return {};
}

QString CTkWebView::writeBackRefusal() const {
  QString refusal = saveRefusal();
  if (!refusal.isEmpty()) return refusal + QLatin1Char(' ') + tr("Use Save As to keep the edits.");
  const QString path = url().toLocalFile();
  const auto now = velkin::app::fileIdentityOf(path.toStdString());
  if (!shownFile_ || !now || !(*now == *shownFile_)) {
    return tr("%1 was moved, deleted or replaced since it was opened; the edits were not written there. "
              "Use Save As to keep them.")
        .arg(path);
  }
  return {};
}

void CTkWebView::saveAs(const QString& path, SaveDone done) {
  if (path.isEmpty()) {
    finishSave(path, SaveResult::NotSaved, QString(), done);
    return;
  }
  const QString target = QFileInfo(path).absoluteFilePath();
  const std::string programFiles = velkin::app::shareFolder();
  if (!programFiles.empty() && velkin::app::isInsideFolder(target.toStdString(), programFiles)) {
    finishSave(target, SaveResult::NotSaved, tr("The program's own pages are not saved."), done);
    return;
  }
  QPointer<CTkWebView> self(this);
  takeSnapshot(target, done, [self, target, done](const Snapshot& snapshot) {
    if (!self) return;
    if (snapshot.html.isEmpty()) {
      self->finishSave(target, SaveResult::Failed, tr("The document could not be read for saving."), done);
      return;
    }
    self->writeSnapshot(target, snapshot, done);
  });
}

std::string CTkWebView::sourceHeader() const {
  const QUrl source = url();
  if (!source.isLocalFile()) return {};
  const auto text = velkin::platform::readFile(source.toLocalFile().toStdString());
  return text ? velkin::app::leadingCaptureHeader(*text) : std::string();
}

void CTkWebView::takeSnapshot(const QString& failPath, const SaveDone& done, SnapshotDone next) {
  const QUrl source = url();
  const std::string header = sourceHeader();
  const QString script =
      QStringLiteral("(%1)(%2)").arg(QLatin1String(kSnapshotFunction), jsBool(!header.empty()));
  QPointer<CTkWebView> self(this);
  page_->runJavaScript(
      script, QWebEngineScript::ApplicationWorld,
      [self, source, header, failPath, done, next = std::move(next)](const QVariant& result) {
        if (!self) return;
        const QVariantMap map = result.toMap();
        Snapshot snapshot{source, map.value(QStringLiteral("doc")).toInt(), map.value(QStringLiteral("html")).toString(),
                          header};
        if (!snapshot.html.isEmpty() &&
            withoutFragment(QUrl(map.value(QStringLiteral("href")).toString())) != withoutFragment(source)) {
          const QString path = failPath.isEmpty() ? locationOf(source) : failPath;
          self->finishSave(path, SaveResult::Failed, tr("Another page was loaded before %1 could be saved.").arg(path),
                           done);
          return;
        }
        next(snapshot);
      });
}

void CTkWebView::writeSnapshot(const QString& path, const Snapshot& snapshot, const SaveDone& done) {
  const std::string markup = velkin::capture::serializeHtml(snapshot.html.toUtf8().toStdString());
  const std::string error =
      velkin::platform::writeFileAtomic(path.toStdString(), velkin::app::savedPageText(snapshot.header, markup));
  if (!error.empty()) {
    finishSave(path, SaveResult::Failed, QString::fromStdString(error), done);
    return;
  }
  // Written to the page's own file: that file, with this markup, is what
  // later edits are told by.
  const bool ownFile = snapshot.source.isLocalFile() && url() == snapshot.source &&
                       QFileInfo(path).canonicalFilePath() == QFileInfo(snapshot.source.toLocalFile()).canonicalFilePath();
  if (ownFile) {
    rememberShownFile();
    if (snapshot.document == baseline_.document) baseline_.html = snapshot.html;
  }
  finishSave(path, SaveResult::Saved, QString(), done);
}

void CTkWebView::finishSave(const QString& path, SaveResult result, const QString& message, const SaveDone& done) {
  if (result == SaveResult::NotSaved || result == SaveResult::Failed) {
    trace("save", (path + QStringLiteral(": ") + message).toStdString());
  }
  emit saveFinished(path, result == SaveResult::Saved, message);
  if (done) done(result, message);
}

void CTkWebView::rememberShownFile() {
  const QUrl current = url();
  shownFile_.reset();
  if (current.isLocalFile()) shownFile_ = velkin::app::fileIdentityOf(current.toLocalFile().toStdString());
}

void CTkWebView::goHome() { navigate(startPage()); }

void CTkWebView::setZoomLevel(int level) { setZoomFactor(velkin::app::zoomFactorForLevel(level)); }

QString CTkWebView::startPage() {
  const std::string welcome = velkin::app::shareFile("welcome.html");
  return welcome.empty() ? QString::fromLatin1(velkin::app::kBlankAddress) : QString::fromStdString(welcome);
}

QUrl CTkWebView::urlFor(const QString& address) {
  const QString text = address.trimmed();
  if (text.startsWith(QLatin1Char('/')) || text.startsWith(QLatin1Char('.')) || QFileInfo::exists(text)) {
    return QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
  }
  if (velkin::app::looksLikeAddress(text.toStdString())) return QUrl(text);
  return QUrl::fromUserInput(text);
}

QString CTkWebView::locationOf(const QUrl& url) {
  return url.isLocalFile() ? url.toLocalFile() : url.toString();
}

void CTkWebView::onUndo() {
  if (editing_) triggerPageAction(QWebEnginePage::Undo);
}

void CTkWebView::onRedo() {
  if (editing_) triggerPageAction(QWebEnginePage::Redo);
}

void CTkWebView::onPrint() {
  if (printing_) return;
  QPrintDialog dialog(&printer_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  printing_ = true;
  print(&printer_);
}

void CTkWebView::onPrintPreview() {
  if (printing_) return;
  QPrintPreviewDialog preview(&printer_, this);
  connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* printer) {
    // The preview paints synchronously; the page prints asynchronously.
    QEventLoop wait;
    connect(this, &QWebEngineView::printFinished, &wait, &QEventLoop::quit);
    printing_ = true;
    print(printer);
    wait.exec();
  });
  preview.exec();
}

void CTkWebView::onPageSetup() {
  QPageSetupDialog dialog(&printer_, this);
  dialog.exec();
}

void CTkWebView::onLoadFinished(bool ok) {
  if (!ok) trace("load", ("not loaded: " + url().toString()).toStdString());
  rememberShownFile();
  const QString where = location();
  if (!where.contains(QLatin1String(velkin::app::kBlankAddress))) emit addressChanged(where);
  emit locationChanged(where);
  applyDesignMode();
  applyTagStyle();
  updateHistoryState();
}

void CTkWebView::applyDesignMode() {
  const int fresh = ++nextDocument_;
  const QString script = QStringLiteral("%1(%2, %3, %4, %5, %6)")
                             .arg(QLatin1String(kDesignModeScript), jsBool(editing_))
                             .arg(baseline_.document)
                             .arg(fresh)
                             .arg(jsBool(editing_ && !sourceHeader().empty()), QLatin1String(kSnapshotFunction));
  QPointer<CTkWebView> self(this);
  page_->runJavaScript(script, QWebEngineScript::ApplicationWorld, [self, fresh](const QVariant& result) {
    const QString html = result.toMap().value(QStringLiteral("html")).toString();
    if (self && !html.isEmpty()) self->baseline_ = Baseline{fresh, html};
  });
}

void CTkWebView::applyTagStyle() {
  static const QString css = jsString(tagStyleSheet());
  const QString script = QStringLiteral(
                             "(function (on, css) {"
                             "  var style = document.getElementById('%1');"
                             "  if (!on) { if (style) style.remove(); return; }"
                             "  if (!style) {"
                             "    style = document.createElement('style');"
                             "    style.id = '%1';"
                             "    (document.head || document.documentElement).appendChild(style);"
                             "  }"
                             "  style.textContent = css;"
                             "})(%2, %3);")
                             .arg(QLatin1String(kTagStyleId), showTags_ ? QStringLiteral("true") : QStringLiteral("false"), css);
  page_->runJavaScript(script, QWebEngineScript::ApplicationWorld);
}

void CTkWebView::updateHistoryState() {
  const bool back = history()->canGoBack();
  const bool forward = history()->canGoForward();
  if (back == backEnabled_ && forward == forwardEnabled_) return;
  backEnabled_ = back;
  forwardEnabled_ = forward;
  emit historyStateChanged(back, forward);
}
