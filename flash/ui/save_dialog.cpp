#include "flash/ui/save_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "flash/model/messages.h"
#include "flash/ui/download_dialog.h"
#include "flash/ui/movie_preview.h"
#include "uikit/site_link.h"

namespace velkin::flash::ui {

namespace {

constexpr int kColumnWidths[kSaveColumnCount] = {100, 150, 250, 40};
const char* const kColumnTitles[kSaveColumnCount] = {"File Name", "URL", "Save Path", "Size"};

QString text(const std::string& value) { return QString::fromStdString(value); }

}  // namespace

FolderListChooser::FolderListChooser(const std::string& root, QWidget* parent) : SaveFolderChooser(parent) {
  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::Dirs | QDir::NoDotAndDotDot);
  model_->setReadOnly(true);
  view_ = new QTreeView(this);
  view_->setModel(model_);
  view_->setRootIndex(model_->setRootPath(text(root)));
  for (int column = 1; column < model_->columnCount(); ++column) view_->hideColumn(column);
  view_->setHeaderHidden(true);
  view_->setContextMenuPolicy(Qt::NoContextMenu);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this, &SaveFolderChooser::folderChosen);
}

std::string FolderListChooser::chosenFolder() const {
  const QModelIndex current = view_->currentIndex();
  return current.isValid() ? model_->filePath(current).toStdString() : std::string();
}

void FolderListChooser::choose(const std::string& folder) { view_->setCurrentIndex(model_->index(text(folder))); }

FlashSaveDialog::FlashSaveDialog(const std::vector<SaveRecord>& records, const std::string& flashFolder,
                                 const std::string& treeRoot, SaveFolderChooser* chooser, QWidget* parent)
    : QDialog(parent), rows_(saveRows(records, flashFolder)), chooser_(chooser) {
  setWindowTitle(kCaptionFlash);
  list_ = new QTreeWidget(this);
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
  if (chooser_ == nullptr) chooser_ = new FolderListChooser(treeRoot, this);
  chooser_->setParent(this);
  previewSwitch_ = new QCheckBox(tr("Preview"), this);
  previewSwitch_->setChecked(true);
  auto* frame = new QFrame(this);
  frame->setFrameShape(QFrame::StyledPanel);
  preview_ = new MoviePreview(playerFolder(), frame);
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->setContentsMargins(1, 1, 1, 1);
  frameLayout->addWidget(preview_);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(tr("Save"), QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* left = new QVBoxLayout;
  left->addWidget(new QLabel(tr("Flash List"), this));
  left->addWidget(list_, 1);
  left->addWidget(savePathLabel_);
  left->addWidget(chooser_, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(previewSwitch_);
  right->addWidget(frame, 1);
  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 3);
  columns->addLayout(right, 2);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(uikit::makeSiteLink(this));
  bottom->addStretch(1);
  bottom->addWidget(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns, 1);
  layout->addLayout(bottom);
  resize(748, 442);  // the dialog's 374 x 221 units at two pixels a unit

  connect(list_, &QTreeWidget::itemChanged, this, &FlashSaveDialog::rowChanged);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &FlashSaveDialog::selectionChanged);
  connect(chooser_, &SaveFolderChooser::folderChosen, this, &FlashSaveDialog::folderChosen);
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

void FlashSaveDialog::folderChosen() {
  const int row = selectedRow();
  const std::string folder = chooser_->chosenFolder();
  if (row < 0 || folder.empty()) return;
  savePathLabel_->setText(text(flash::savePathLabel(folder)));
  rows_[static_cast<size_t>(row)].savePath = folder;
  list_->topLevelItem(row)->setText(kSavePathColumn, text(folder));
}

bool runSaveFlow(const std::vector<SaveRecord>& records, const std::string& flashFolder, const std::string& treeRoot,
                 QWidget* owner) {
  std::vector<DownloadRecord> list;
  {
    FlashSaveDialog save(records, flashFolder, treeRoot, nullptr, owner);
    if (save.exec() != QDialog::Accepted) return false;
    list = save.downloadList();
  }
  FlashDownloadDialog download(std::move(list), flashFolder, owner);
  download.run();
  return true;
}

}  // namespace velkin::flash::ui
