#include "flash/ui/save_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "flash/model/flash_folder.h"
#include "flash/model/messages.h"
#include "flash/ui/download_dialog.h"
#include "flash/ui/movie_preview.h"
#include "uikit/dialog_header.h"
#include "uikit/front_window.h"
#include "uikit/site_link.h"

namespace velkin::flash::ui {

namespace {

constexpr int kColumnWidths[kSaveColumnCount] = {100, 150, 250, 40};
const char* const kColumnTitles[kSaveColumnCount] = {"File Name", "URL", "Save Path", "Size"};

QString text(const std::string& value) { return QString::fromStdString(value); }

}  // namespace

FlashSaveDialog::FlashSaveDialog(const std::vector<SaveRecord>& records, const std::string& flashFolder,
                                 platform::Registry& registry, FolderTreeOptions treeOptions, QWidget* parent)
    : QDialog(parent), rows_(saveRows(records, flashFolder)) {
  setWindowTitle(kCaptionFlash);
  setObjectName(QStringLiteral("flashSaveDialog"));
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("movieList"));
  list_->setColumnCount(kSaveColumnCount);
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  QStringList titles;
  for (const char* title : kColumnTitles) titles << title;
  list_->setHeaderLabels(titles);
  for (int column = 0; column < kSaveColumnCount; ++column) list_->setColumnWidth(column, kColumnWidths[column]);
  fillList();

  savePathLabel_ = new QLabel(text(flash::savePathLabel("")), this);
  treeOptions.showFiles = false;
  treeOptions.watch = false;
  folderTree_ = new FolderTreeView(registry, std::move(treeOptions), this);
  if (QTreeWidgetItem* root = folderTree_->topLevelItem(0)) folderTree_->expandItem(root);
  previewSwitch_ = new QCheckBox(tr("Preview"), this);
  previewSwitch_->setChecked(true);
  auto* frame = new QFrame(this);
  frame->setFrameShape(QFrame::StyledPanel);
  preview_ = new MoviePreview(playerFolder(), frame);
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->setContentsMargins(1, 1, 1, 1);
  frameLayout->addWidget(preview_);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* save = buttons->addButton(tr("Save"), QDialogButtonBox::AcceptRole);
  save->setDefault(true);
  save->setObjectName(QStringLiteral("save"));
  buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* left = new QVBoxLayout;
  left->addWidget(new QLabel(tr("Flash List"), this));
  left->addWidget(list_, 1);
  left->addWidget(savePathLabel_);
  left->addWidget(folderTree_, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(previewSwitch_);
  right->addWidget(frame, 1);
  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 3);
  columns->addLayout(right, 2);
  uikit::layOutWithHeader(this, QString::fromLatin1(kCaptionFlash), tr("Save Flash movies"), columns,
                          uikit::makeLinkAndButtons(buttons, this));
  resize(748, 442);  // the dialog's 374 x 221 units at two pixels a unit

  connect(list_, &QTreeWidget::itemChanged, this, &FlashSaveDialog::rowChanged);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &FlashSaveDialog::selectionChanged);
  connect(folderTree_, &FolderTreeView::selectedFolderChanged, this, &FlashSaveDialog::folderChosen);
}

void FlashSaveDialog::fillList() {
  for (const SaveRow& row : rows_) {
    auto* item = new QTreeWidgetItem(list_);
    item->setText(kFileNameColumn, text(row.fileName));
    item->setText(kUrlColumn, text(row.url));
    item->setText(kSavePathColumn, text(row.savePath));
    item->setText(kSizeColumn, text(row.sizeText));
    item->setToolTip(kUrlColumn, text(row.url));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(kFileNameColumn, Qt::Checked);
  }
}

void FlashSaveDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (list_->currentItem() == nullptr && list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
}

int FlashSaveDialog::selectedRow() const {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  return selected.isEmpty() ? -1 : list_->indexOfTopLevelItem(selected.first());
}

void FlashSaveDialog::rowChanged(QTreeWidgetItem* item, int column) {
  const int row = list_->indexOfTopLevelItem(item);
  if (column != kFileNameColumn || row < 0) return;
  rows_[static_cast<size_t>(row)].ticked = item->checkState(kFileNameColumn) != Qt::Unchecked;
}

void FlashSaveDialog::selectionChanged() {
  const int row = selectedRow();
  const std::string address = previewAddress(rows_, row, previewSwitch_->isChecked());
  if (address.empty()) return;
  preview_->play(address, rows_[static_cast<size_t>(row)].localAllowed);
}

void FlashSaveDialog::folderChosen(const QString& chosen) {
  const int row = selectedRow();
  const std::string folder = chosen.toStdString();
  if (row < 0 || folder.empty()) return;
  savePathLabel_->setText(text(flash::savePathLabel(folder)));
  rows_[static_cast<size_t>(row)].savePath = folder;
  list_->topLevelItem(row)->setText(kSavePathColumn, text(folder));
}

bool runSaveFlow(const std::vector<SaveRecord>& records, platform::Registry& registry, QWidget* owner) {
  const std::string folder = flashFolder(registry);
  std::vector<DownloadRecord> list;
  {
    FlashSaveDialog save(records, folder, registry, {}, owner);
    if (uikit::execInFront(save) != QDialog::Accepted) return false;
    list = save.downloadList();
  }
  FlashDownloadDialog download(std::move(list), folder, owner);
  download.run();
  return true;
}

}  // namespace velkin::flash::ui
