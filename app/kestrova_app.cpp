#include "app/kestrova_app.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "app/main_frame.h"
#include "app/raise_listener.h"
#include "app/screenshot_tour.h"
#include "app/tk_web_view.h"
#include "platform/paths.h"
#include "uikit/tip_dialog.h"

namespace {

namespace app = velkin::app;

// Time for the window system to paint before the screenshots begin.
constexpr int kPaintDelayMs = 700;

}  // namespace

CKestrovaApp::CKestrovaApp(velkin::platform::Registry& registry, app::StartOptions options, QObject* parent)
    : QObject(parent), registry_(registry), options_(std::move(options)) {}

CKestrovaApp::~CKestrovaApp() = default;

bool CKestrovaApp::initInstance() {
  QString page;
  if (!resolvePage(&page)) return false;
  frame_ = std::make_unique<CMainFrame>(registry_);
  if (options_.exitWhenShown || !options_.screenshotFolder.empty()) watchFirstPage();
  frame_->initialUpdate(page);
  showWithPlacement(*frame_, registry_, screenAreas());
  frame_->setWindowTitle(QString::fromLatin1(app::kMainWindowTitle));
  raiseListener_ = std::make_unique<CRaiseListener>(
      *frame_, QString::fromStdString(velkin::platform::mainProgramSocketName()));
  if (!options_.noTip) showTipAtStartUp();
  return true;
}

bool CKestrovaApp::resolvePage(QString* page) {
  if (options_.page.empty()) return true;
  const QString text = QString::fromStdString(options_.page);
  if (app::looksLikeAddress(options_.page)) {
    *page = text;
    return true;
  }
  const QFileInfo file(text);
  if (!file.exists()) {
    error_ = QStringLiteral("cannot open %1: no such file").arg(text);
    return false;
  }
  *page = file.absoluteFilePath();
  return true;
}

bool CKestrovaApp::showWithPlacement(CMainFrame& frame, velkin::platform::Registry& registry,
                                     const std::vector<app::ScreenRect>& screens) {
  const auto placement = app::readPlacement(registry);
  if (!placement || !app::placementOnScreen(*placement, screens)) {
    frame.show();
    return false;
  }
  const app::ScreenRect& normal = placement->normal;
  frame.setGeometry(normal.left, normal.top, normal.right - normal.left, normal.bottom - normal.top);
  // A window closed while minimised comes back normal: a program that
  // starts as an icon looks like one that did not start.
  if (placement->showCommand == app::kShowMaximized) {
    frame.showMaximized();
  } else {
    frame.show();
  }
  return true;
}

std::vector<app::ScreenRect> CKestrovaApp::screenAreas() {
  std::vector<app::ScreenRect> areas;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect area = screen->availableGeometry();
    areas.push_back({area.left(), area.top(), area.left() + area.width(), area.top() + area.height()});
  }
  return areas;
}

void CKestrovaApp::showTipAtStartUp() {
  const std::string section = app::profileSectionKey(app::kTipSection);
  const std::string tips = app::shareFile("tips.txt");
  if (!velkin::uikit::TipStore(registry_, section, tips).showAtStartUp()) return;
  velkin::uikit::CTipDialog dialog(registry_, section, tips, frame_.get());
  dialog.exec();
}

void CKestrovaApp::watchFirstPage() {
  auto connection = std::make_shared<QMetaObject::Connection>();
  *connection = connect(frame_->webView(), &QWebEngineView::loadFinished, this, [this, connection](bool) {
    disconnect(*connection);
    emit firstPageShown();
    if (!options_.screenshotFolder.empty()) {
      QTimer::singleShot(kPaintDelayMs, this, &CKestrovaApp::takeScreenshots);
      return;
    }
    std::printf("%s\n", kShownMarker);
    std::fflush(stdout);
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
  });
}

void CKestrovaApp::takeScreenshots() {
  auto* tour = new CScreenshotTour(*frame_, registry_, QString::fromStdString(options_.screenshotFolder), this);
  connect(tour, &CScreenshotTour::finished, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  tour->start();
}
