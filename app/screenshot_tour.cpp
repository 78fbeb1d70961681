#include "app/screenshot_tour.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QTreeWidgetItem>
#include <QUrl>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

#include "app/check_version_dialog.h"
#include "app/find_dialog.h"
#include "app/html_source_edit.h"
#include "app/main_frame.h"
#include "app/project_tree_ctrl.h"
#include "app/search_bar.h"
#include "app/search_dialog.h"
#include "app/source_view.h"
#include "app/tk_tree_view.h"
#include "app/tk_web_view.h"
#include "capture/file_types.h"
#include "kb/meta.h"
#include "uikit/save_file_dialog.h"

namespace {

// Time for the window system to paint before a picture is taken.
constexpr int kPaintDelayMs = 700;

// The screen's area of widget's window with everything on it (a menu or a
// dialog over the window) when the window system allows it, else the widget
// alone.
QPixmap grabScreenOr(QWidget* widget) {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = widget->frameGeometry();
    QPixmap part = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (!part.isNull()) return part;
  }
  return widget->grab();
}

// Opens the categories of tree, all the way down.
void expandCategories(CProjectTreeCtrl* tree, QTreeWidgetItem* item) {
  const velkin::kb::TreeItem* model = tree->modelItem(item);
  if (model == nullptr || !model->isFolder() || !model->hasChildren) return;
  item->setExpanded(true);
  for (int i = 0; i < item->childCount(); ++i) expandCategories(tree, item->child(i));
}

void expandCategories(CProjectTreeCtrl* tree) {
  for (int i = 0; i < tree->topLevelItemCount(); ++i) expandCategories(tree, tree->topLevelItem(i));
}

// The first item of tree shown with text, depth first.
QTreeWidgetItem* findItem(QTreeWidgetItem* item, const QString& text) {
  if (item->text(0) == text) return item;
  for (int i = 0; i < item->childCount(); ++i) {
    if (QTreeWidgetItem* found = findItem(item->child(i), text)) return found;
  }
  return nullptr;
}

QTreeWidgetItem* findItem(CProjectTreeCtrl* tree, const QString& text) {
  for (int i = 0; i < tree->topLevelItemCount(); ++i) {
    if (QTreeWidgetItem* found = findItem(tree->topLevelItem(i), text)) return found;
  }
  return nullptr;
}

// The shown page's file, "" when it is no local file.
QString shownPagePath(CMainFrame& frame) {
  const QUrl url = CTkWebView::urlFor(frame.currentLocation());
  return url.isLocalFile() ? url.toLocalFile() : QString();
}

// Selects the shown page's item in tree, when it lists it.
void selectShownPage(CMainFrame& frame, CProjectTreeCtrl* tree) {
  const QString name = QFileInfo(shownPagePath(frame)).completeBaseName();
  QTreeWidgetItem* page = name.isEmpty() ? nullptr : findItem(tree, name);
  if (page == nullptr) return;
  tree->setCurrentItem(page);
  tree->scrollToItem(page);
}

// The host of the address the shown page was captured from, "" when it has
// none.
QString shownPageHost(CMainFrame& frame) {
  const QString path = shownPagePath(frame);
  if (path.isEmpty()) return {};
  const std::string address = velkin::kb::readMetaValue(path.toStdString(), velkin::kb::kPageUrlName);
  return QUrl(QString::fromStdString(address)).host();
}

}  // namespace

const CScreenshotTour::Shot CScreenshotTour::kShots[] = {
    {"main_window", &CScreenshotTour::mainWindow},
    {"tree_context_menu", &CScreenshotTour::treeContextMenu},
    {"save_dialog", &CScreenshotTour::saveDialog},
    {"edit_source", &CScreenshotTour::editSource},
    {"find_dialog", &CScreenshotTour::findDialog},
    {"search_options", &CScreenshotTour::searchOptions},
    {"search_result", &CScreenshotTour::searchResult},
    {"check_version", &CScreenshotTour::checkVersion},
};

CScreenshotTour::CScreenshotTour(CMainFrame& frame, velkin::platform::Registry& registry, QString folder,
                                 QObject* parent)
    : QObject(parent), frame_(frame), registry_(registry), folder_(std::move(folder)) {}

void CScreenshotTour::start() {
  QDir().mkpath(folder_);
  current_ = 0;
  (this->*kShots[0].take)();
}

void CScreenshotTour::next() {
  if (++current_ >= std::size(kShots)) {
    emit finished();
    return;
  }
  (this->*kShots[current_].take)();
}

void CScreenshotTour::afterPaint(std::function<void()> then) {
  QTimer::singleShot(kPaintDelayMs, this, std::move(then));
}

bool CScreenshotTour::save(const QPixmap& picture, const char* name) {
  const QString file = QString::fromLatin1(name != nullptr ? name : kShots[current_].name) + QStringLiteral(".png");
  const QString path = QDir(folder_).filePath(file);
  const bool saved = !picture.isNull() && picture.save(path, "PNG");
  std::printf("%s %s\n", saved ? "saved" : "not saved", path.toLocal8Bit().constData());
  std::fflush(stdout);
  return saved;
}

void CScreenshotTour::mainWindow() {
  expandCategories(frame_.treeView()->treeCtrl());
  afterPaint([this] {
    save(frame_.grab());
    next();
  });
}

void CScreenshotTour::treeContextMenu() {
  CProjectTreeCtrl* tree = frame_.treeView()->treeCtrl();
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
  std::shared_ptr<QMenu> menu(tree->createTreeMenu(target, &frame_).release());
  menu->popup(at);
  afterPaint([this, menu] {
    save(grabScreenOr(&frame_));
    save(menu->grab(), "tree_context_menu_only");
    menu->close();
    next();
  });
}

void CScreenshotTour::saveDialog() {
  auto dialog = std::make_shared<velkin::uikit::SaveFileDialog>("New File", velkin::capture::fileTypesPath(),
                                                                velkin::uikit::Prompts{}, &frame_);
  dialog->show();
  afterPaint([this, dialog] {
    save(dialog->grab());
    dialog->close();
    next();
  });
}

void CScreenshotTour::editSource() {
  selectShownPage(frame_, frame_.treeView()->treeCtrl());
  frame_.onEditSource();
  CKestrovaView* view = frame_.sourceView();
  auto taken = std::make_shared<bool>(false);
  auto take = [this, taken] {
    if (std::exchange(*taken, true)) return;
    afterPaint([this] {
      save(frame_.grab());
      next();
    });
  };
  if (view == nullptr || !view->edit()->isColouring()) {
    take();
    return;
  }
  connect(view->edit(), &CHtmlSourceEdit::wholeTextColoured, this, take);
}

void CScreenshotTour::findDialog() {
  CKestrovaView* view = frame_.sourceView();
  if (view == nullptr) {
    save(grabScreenOr(&frame_));
    next();
    return;
  }
  CFindDialog* dialog = view->edit()->findDialog();
  view->edit()->showFindDialog();
  dialog->findBox()->setEditText(frame_.webView()->title());
  dialog->findNext();
  afterPaint([this, dialog] {
    save(grabScreenOr(&frame_));
    dialog->closeDialog();
    frame_.onBrowse();
    next();
  });
}

void CScreenshotTour::searchOptions() {
  auto dialog = std::make_shared<CSearchDialog>(&frame_);
  dialog->setMode(velkin::kb::FilterMode::PageUrl);
  dialog->urlEdit()->setText(shownPageHost(frame_));
  dialog->show();
  afterPaint([this, dialog] {
    save(dialog->grab());
    dialog->accept();
    CMainFrame::Seams seams;
    std::optional<velkin::kb::PageFilter> filter;
    if (dialog->filter().mode != static_cast<int>(velkin::kb::FilterMode::None)) filter = dialog->filter();
    seams.askSearch = [filter] { return filter; };
    frame_.setSeams(std::move(seams));
    frame_.onSearch();
    next();
  });
}

void CScreenshotTour::searchResult() {
  CProjectTreeCtrl* tree = frame_.searchBar()->treeCtrl();
  expandCategories(tree);
  selectShownPage(frame_, tree);
  afterPaint([this] {
    save(frame_.grab());
    next();
  });
}

void CScreenshotTour::checkVersion() {
  auto dialog = std::make_shared<CCheckVersionDialog>(registry_, &frame_);
  dialog->show();
  connect(
      dialog.get(), &CCheckVersionDialog::checkFinished, this,
      [this, dialog] {
        afterPaint([this, dialog] {
          save(dialog->grab());
          dialog->close();
          next();
        });
      },
      Qt::SingleShotConnection);
  dialog->onCheck();
}
