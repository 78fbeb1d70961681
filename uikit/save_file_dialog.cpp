#include "uikit/save_file_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "kb/meta.h"
#include "uikit/define_type_dialog.h"

namespace velkin::uikit {

namespace {

constexpr int kNameColumnWidth = 50;
constexpr int kDescriptionColumnWidth = 150;

// The label linking to the maker's web site, at the foot of the program's dialogs.
QLabel* makeSiteLink(QWidget* parent) {
  auto* link = new QLabel(parent);
  link->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(QString::fromUtf8(kb::kHomePageAddress)));
  link->setOpenExternalLinks(true);
  return link;
}

}  // namespace

SaveFileDialog::SaveFileDialog(const std::string& proposedName, std::string iniPath, Prompts prompts,
                               QWidget* parent)
    : QDialog(parent), model_(std::move(iniPath)), prompts_(std::move(prompts)) {
  setWindowTitle(QString::fromUtf8(capture::kCaptionVelkinWeb));
  defineType_ = [this](capture::SaveDialogModel& model) {
    DefineTypeDialog dialog(model, prompts_, this);
    return dialog.exec() == QDialog::Accepted;
  };

  fileNameEdit_ = new QLineEdit(QString::fromStdString(proposedName), this);
  fileNameEdit_->setObjectName(QStringLiteral("fileName"));
  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(new QLabel(tr("File name"), this));
  nameRow->addWidget(fileNameEdit_, 1);

  typeList_ = new QTreeWidget(this);
  typeList_->setObjectName(QStringLiteral("fileTypes"));
  typeList_->setRootIsDecorated(false);
  typeList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  typeList_->setSelectionMode(QAbstractItemView::SingleSelection);
  typeList_->setHeaderLabels({tr("Name"), tr("Description")});
  typeList_->header()->resizeSection(0, kNameColumnWidth);
  typeList_->header()->resizeSection(1, kDescriptionColumnWidth);
  connect(typeList_, &QTreeWidget::itemChanged, this, &SaveFileDialog::takeCheckMark);

  auto* listButtons = new QHBoxLayout;
  connect(addButton(tr("Select All"), QStringLiteral("selectAll")), &QPushButton::clicked, this,
          &SaveFileDialog::selectAll);
  connect(addButton(tr("Unselect"), QStringLiteral("unselect")), &QPushButton::clicked, this,
          &SaveFileDialog::unselectAll);
  connect(addButton(tr("Add"), QStringLiteral("add")), &QPushButton::clicked, this, &SaveFileDialog::addType);
  connect(addButton(tr("Delete"), QStringLiteral("delete")), &QPushButton::clicked, this,
          &SaveFileDialog::deleteType);
  for (const char* name : {"selectAll", "unselect", "add", "delete"}) listButtons->addWidget(button(name));
  listButtons->addStretch(1);

  QPushButton* save = addButton(tr("Save"), QStringLiteral("save"));
  save->setDefault(true);
  connect(save, &QPushButton::clicked, this, &SaveFileDialog::accept);
  QPushButton* cancel = addButton(tr("Cancel"), QStringLiteral("cancel"));
  connect(cancel, &QPushButton::clicked, this, &SaveFileDialog::reject);
  auto* footer = new QHBoxLayout;
  footer->addWidget(makeSiteLink(this));
  footer->addStretch(1);
  footer->addWidget(save);
  footer->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(nameRow);
  layout->addWidget(new QLabel(tr("Select file type"), this));
  layout->addWidget(typeList_, 1);
  layout->addLayout(listButtons);
  layout->addLayout(footer);

  // A list that could not be read (too large) is left alone and said so
  // once the dialog shows.
  if (const std::string message = model_.open(); !message.empty()) {
    QTimer::singleShot(0, this, [this, message] {
      prompts_.information(this, capture::kCaptionVelkinWeb, message);
    });
  }
  fillList();
  fileNameEdit_->setFocus();
  fileNameEdit_->selectAll();
}

QPushButton* SaveFileDialog::addButton(const QString& text, const QString& objectName) {
  auto* pushButton = new QPushButton(text, this);
  pushButton->setObjectName(objectName);
  pushButton->setAutoDefault(false);
  return pushButton;
}

QPushButton* SaveFileDialog::button(const QString& objectName) const {
  return findChild<QPushButton*>(objectName);
}

void SaveFileDialog::fillList() {
  filling_ = true;
  typeList_->clear();
  for (const capture::FileType& type : model_.types()) {
    auto* row = new QTreeWidgetItem(typeList_, {QString::fromStdString(type.name),
                                                QString::fromStdString(type.description)});
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    row->setCheckState(0, type.selected ? Qt::Checked : Qt::Unchecked);
  }
  filling_ = false;
}

void SaveFileDialog::takeCheckMark(QTreeWidgetItem* row, int column) {
  if (filling_ || column != 0) return;
  const int index = typeList_->indexOfTopLevelItem(row);
  if (index >= 0) model_.setChecked(static_cast<size_t>(index), row->checkState(0) == Qt::Checked);
}

void SaveFileDialog::selectAll() {
  model_.selectAll();
  fillList();
}

void SaveFileDialog::unselectAll() {
  model_.unselectAll();
  fillList();
}

void SaveFileDialog::addType() {
  if (defineType_ && defineType_(model_)) fillList();
}

void SaveFileDialog::deleteType() {
  const QList<QTreeWidgetItem*> rows = typeList_->selectedItems();
  if (rows.isEmpty()) return;
  const int index = typeList_->indexOfTopLevelItem(rows.front());
  if (index < 0) return;
  const std::string question = model_.deleteQuestion(static_cast<size_t>(index));
  if (question.empty() || !prompts_.question(this, capture::kCaptionVelkinWeb, question)) return;
  model_.deleteType(static_cast<size_t>(index));
  fillList();
}

void SaveFileDialog::accept() {
  const auto outcome = model_.save(fileNameEdit_->text().toStdString());
  if (!outcome.accepted) {
    prompts_.information(this, capture::kCaptionVelkinWeb, outcome.message);
    fileNameEdit_->setFocus();
    return;
  }
  fileName_ = outcome.fileName;
  selectedTypes_ = outcome.selectedTypes;
  QDialog::accept();
}

}  // namespace velkin::uikit
