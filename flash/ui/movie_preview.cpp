#include "flash/ui/movie_preview.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QStackedLayout>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include "capture/address.h"
#include "capture/fetcher.h"
#include "platform/file_util.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "uikit/share_folder.h"

namespace velkin::flash::ui {

namespace {

constexpr char kPlayerHost[] = "player";
constexpr char kLocalMoviePath[] = "/movie.swf";
constexpr char kPlayerScript[] = "ruffle.js";

// Custom schemes must be known before the application object exists: this
// runs while the program starts.
const bool kSchemeRegistered = [] {
  QWebEngineUrlScheme scheme(kPlayerScheme);
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
  scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
  QWebEngineUrlScheme::registerScheme(scheme);
  return true;
}();

QString playerBase() { return QString::fromLatin1(kPlayerScheme) + "://" + kPlayerHost + "/"; }

QByteArray mimeTypeOf(const QString& name) {
  if (name.endsWith(".js")) return "text/javascript";
  if (name.endsWith(".wasm")) return "application/wasm";
  if (name.endsWith(".swf")) return "application/x-shockwave-flash";
  return "application/octet-stream";
}

// A JavaScript string literal holding text, safe inside a script element.
QString scriptString(const std::string& text) {
  QString array = QString::fromUtf8(QJsonDocument(QJsonArray{QString::fromStdString(text)}).toJson(QJsonDocument::Compact));
  array.replace("</", "<\\/");
  return array.mid(1, array.size() - 2);
}

}  // namespace

// Answers the player scheme: the player's own files (plain names in its
// folder) and the one local movie the preview was asked to play.
class PlayerFiles : public QWebEngineUrlSchemeHandler {
 public:
  PlayerFiles(std::string folder, QObject* parent) : QWebEngineUrlSchemeHandler(parent), folder_(std::move(folder)) {}
  void setLocalMovie(std::string path) { localMovie_ = std::move(path); }

  void requestStarted(QWebEngineUrlRequestJob* job) override {
    const QString path = job->requestUrl().path();
    const QString file = fileFor(path);
    auto* source = new QFile(file, job);
    if (file.isEmpty() || !source->open(QIODevice::ReadOnly)) {
      platform::trace("flash preview", "no file for " + path.toStdString());
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    job->reply(mimeTypeOf(path), source);
  }

 private:
  QString fileFor(const QString& path) const {
    if (path == kLocalMoviePath) return QString::fromStdString(localMovie_);
    const QString name = path.mid(1);
    if (!path.startsWith('/') || name.isEmpty() || name.contains('/') || name.startsWith('.')) return {};
    return QString::fromStdString(platform::joinPath(folder_, name.toStdString()));
  }

  std::string folder_;
  std::string localMovie_;
};

std::string playerFolder() {
  const std::string folder = uikit::shareFile("ruffle");
  if (!folder.empty() && platform::isRegularFile(platform::joinPath(folder, kPlayerScript))) return folder;
  platform::trace("flash preview", "no share folder holds the Flash player");
  return {};
}

QString previewPage(const std::string& movieAddress) {
  return QStringLiteral(
             "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
             "<style>html,body{margin:0;height:100%;overflow:hidden;background:#fff}"
             "ruffle-player{display:block;width:100%;height:100%}</style>"
             // This engine's fetch() refuses custom schemes: the player's own
             // requests to its scheme go through XMLHttpRequest instead.
             "<script>(()=>{const pass=window.fetch.bind(window);"
             "window.fetch=(input,init)=>{const url=input instanceof Request?input.url:String(input);"
             "if(!url.startsWith(\"%1\"))return pass(input,init);"
             "return new Promise((resolve,reject)=>{const x=new XMLHttpRequest();x.open(\"GET\",url);"
             "x.responseType=\"arraybuffer\";x.onload=()=>resolve(new Response(x.response,{status:200,"
             "headers:{\"Content-Type\":x.getResponseHeader(\"Content-Type\")||\"application/octet-stream\"}}));"
             "x.onerror=()=>reject(new TypeError(\"Failed to fetch\"));x.send();});};})();</script>"
             "<script>window.RufflePlayer={config:{publicPath:\"%1\",autoplay:\"on\","
             "unmuteOverlay:\"hidden\",splashScreen:false,openUrlMode:\"deny\",showSwfDownload:false,"
             "letterbox:\"on\",polyfills:false}};</script>"
             "<script src=\"%1ruffle.js\"></script></head><body><script>"
             "const player=window.RufflePlayer.newest().createPlayer();"
             "document.body.appendChild(player);"
             "const api=player.ruffle?player.ruffle():player;"
             "Promise.resolve().then(()=>api.load({url:%2})).catch(()=>{});"
             "</script></body></html>")
      .arg(playerBase(), scriptString(movieAddress));
}

MoviePreview::MoviePreview(const std::string& folder, QWidget* parent) : QWidget(parent) {
  stack_ = new QStackedLayout(this);
  message_ = new QLabel(this);
  message_->setWordWrap(true);
  message_->setAlignment(Qt::AlignCenter);
  stack_->addWidget(message_);
  if (folder.empty() || !platform::isRegularFile(platform::joinPath(folder, kPlayerScript))) {
    message_->setText(kPlayerMissingText);
    return;
  }
  // A profile of its own, kept in memory: a preview leaves no cookies or cache.
  auto* profile = new QWebEngineProfile(this);
  files_ = new PlayerFiles(folder, profile);
  profile->installUrlSchemeHandler(kPlayerScheme, files_);
  view_ = new QWebEngineView(this);
  view_->setPage(new QWebEnginePage(profile, view_));
  view_->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
  stack_->addWidget(view_);
  stack_->setCurrentWidget(view_);
}

MoviePreview::~MoviePreview() {
  // The view takes its page with it, before the profile goes.
  delete view_;
}

void MoviePreview::play(const std::string& address, bool localAllowed) {
  if (view_ == nullptr) return;
  if (capture::hasWebScheme(address)) {
    files_->setLocalMovie({});
    view_->setHtml(previewPage(address), QUrl(QString::fromStdString(address)));
    return;
  }
  const std::string local = localAllowed ? capture::localSourcePath(address) : std::string();
  if (local.empty()) {
    clear();
    return;
  }
  files_->setLocalMovie(local);
  view_->setHtml(previewPage(playerBase().toStdString() + (kLocalMoviePath + 1)), QUrl(playerBase()));
}

void MoviePreview::clear() {
  if (view_ != nullptr) view_->setHtml(QString());
}

}  // namespace velkin::flash::ui
