#include "app/kestrova_app.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QTreeWidgetItem>
#include <cstdio>

#include "app/main_frame.h"
#include "app/project_tree_ctrl.h"
#include "app/raise_listener.h"
#include "app/tk_tree_view.h"
#include "app/tk_web_view.h"
#include "capture/file_types.h"
#include "platform/paths.h"
#include "platform/trace.h"
#include "uikit/save_file_dialog.h"
#include "uikit/tip_dialog.h"

namespace {

namespace app = velkin::app;

// Time for the window system to paint before a picture is taken.
constexpr int kPaintDelayMs = 700;

bool savePicture(const QPixmap& picture, const QString& folder, const QString& name) {
  const QString path = QDir(folder).filePath(name);
  const bool saved = !picture.isNull() && picture.save(path, "PNG");
  std::printf("%s %s\n", saved ? "saved" : "not saved", path.toLocal8Bit().constData());
  std::fflush(stdout);
  return saved;
}

// The screen with everything on it when the window system allows it (the
// menu over the window), else the widget alone.
QPixmap grabScreenOr(QWidget* widget) {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QPixmap whole = screen->grabWindow(0);
    if (!whole.isNull()) return whole;
  }
  return widget->grab();
}

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
  const QString folder = QString::fromStdString(options_.screenshotFolder);
  QDir().mkpath(folder);
  CProjectTreeCtrl* tree = frame_->treeView()->treeCtrl();
  if (QTreeWidgetItem* root = tree->topLevelItem(0)) {
    root->setExpanded(true);
    for (int i = 0; i < root->childCount(); ++i) {
      const velkin::kb::TreeItem* item = tree->modelItem(root->child(i));
      if (item != nullptr && item->hasChildren) root->child(i)->setExpanded(true);
    }
  }
  QTimer::singleShot(kPaintDelayMs, this, [this, folder] {
    savePicture(frame_->grab(), folder, QStringLiteral("main_window.png"));
    grabContextMenu();
  });
}

void CKestrovaApp::grabContextMenu() {
  const QString folder = QString::fromStdString(options_.screenshotFolder);
  CProjectTreeCtrl* tree = frame_->treeView()->treeCtrl();
  const velkin::kb::TreeItem* target = tree->model().root();
  if (target != nullptr) {
    for (const auto& child : target->children) {
      if (child->kind == velkin::kb::ItemKind::Category) {
        target = child.get();
        break;
      }
    }
  }
  QTreeWidgetItem* widget = target != nullptr ? tree->widgetItem(target) : nullptr;
  if (widget != nullptr) tree->setCurrentItem(widget);
  const QRect rect = widget != nullptr ? tree->visualItemRect(widget) : QRect();
  const QPoint at = tree->viewport()->mapToGlobal(rect.isValid() ? rect.center() : QPoint(20, 20));
  std::shared_ptr<QMenu> menu(tree->createTreeMenu(target, frame_.get()).release());
  menu->popup(at);
  QTimer::singleShot(kPaintDelayMs, this, [this, folder, menu] {
    savePicture(grabScreenOr(frame_.get()), folder, QStringLiteral("tree_context_menu.png"));
    savePicture(menu->grab(), folder, QStringLiteral("tree_context_menu_only.png"));
    menu->close();
    grabSaveDialog();
  });
}

void CKestrovaApp::grabSaveDialog() {
  const QString folder = QString::fromStdString(options_.screenshotFolder);
  auto dialog = std::make_shared<velkin::uikit::SaveFileDialog>("New File", velkin::capture::fileTypesPath(),
                                                                velkin::uikit::Prompts{}, frame_.get());
  dialog->show();
  QTimer::singleShot(kPaintDelayMs, this, [folder, dialog] {
    savePicture(dialog->grab(), folder, QStringLiteral("save_dialog.png"));
    dialog->close();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
  });
}
