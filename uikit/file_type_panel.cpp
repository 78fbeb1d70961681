#include "uikit/file_type_panel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "uikit/define_type_dialog.h"

namespace velkin::uikit {

FileTypePanel::FileTypePanel(capture::SaveDialogModel& model, Prompts prompts, FileTypePanelForm form,
                             QWidget* parent)
    : QWidget(parent), model_(model), prompts_(std::move(prompts)) {
  defineType_ = [this](capture::SaveDialogModel& types) {
    DefineTypeDialog dialog(types, prompts_, this);
    return dialog.exec() == QDialog::Accepted;
  };
  typeList_ = new QTreeWidget(this);
  typeList_->setObjectName(QStringLiteral("fileTypes"));
  typeList_->setRootIsDecorated(false);
  typeList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  typeList_->setSelectionMode(QAbstractItemView::SingleSelection);
  typeList_->setHeaderLabels({tr("Name"), tr("Description")});
  typeList_->header()->resizeSection(0, form.nameWidth);
  typeList_->header()->resizeSection(1, form.descriptionWidth);
  connect(typeList_, &QTreeWidget::itemChanged, this, &FileTypePanel::takeCheckMark);

  const bool radio = form.radioSelection;
  auto* buttons = new QHBoxLayout;
  QAbstractButton* all = addButton(tr("Select All"), QStringLiteral("selectAll"), radio);
  QAbstractButton* none = addButton(radio ? tr("Deselect All") : tr("Unselect"), QStringLiteral("unselect"), radio);
  QAbstractButton* add = addButton(tr("Add"), QStringLiteral("add"), false);
  QAbstractButton* remove = addButton(tr("Delete"), QStringLiteral("delete"), false);
  connect(all, &QAbstractButton::clicked, this, &FileTypePanel::selectAll);
  connect(none, &QAbstractButton::clicked, this, &FileTypePanel::unselectAll);
  connect(add, &QAbstractButton::clicked, this, &FileTypePanel::addType);
  connect(remove, &QAbstractButton::clicked, this, &FileTypePanel::deleteType);
  for (QAbstractButton* button : {all, none, add, remove}) buttons->addWidget(button);
  buttons->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(new QLabel(form.label, this));
  layout->addWidget(typeList_, 1);
  layout->addLayout(buttons);
}

QAbstractButton* FileTypePanel::addButton(const QString& text, const QString& objectName, bool radio) {
  QAbstractButton* button = nullptr;
  if (radio) {
    button = new QRadioButton(text, this);
  } else {
    auto* push = new QPushButton(text, this);
    push->setAutoDefault(false);
    button = push;
  }
  button->setObjectName(objectName);
  return button;
}

void FileTypePanel::openList() {
  if (const std::string message = model_.open(); !message.empty()) {
    QTimer::singleShot(0, this, [this, message] {
      prompts_.information(window(), capture::kCaptionVelkinWeb, message);
    });
  }
  fillList();
}

void FileTypePanel::fillList() {
  filling_ = true;
  typeList_->clear();
  for (const capture::FileType& type : model_.types()) {
    auto* row = new QTreeWidgetItem(typeList_, {QString::fromStdString(type.name),
                                                QString::fromStdString(type.description)});
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    row->setCheckState(0, type.selected ? Qt::Checked : Qt::Unchecked);
  }
  // The names with their check boxes are shown whole: the column grows past
  // the form's width when they need it.
  QHeaderView* header = typeList_->header();
  const int formWidth = header->sectionSize(0);
  typeList_->resizeColumnToContents(0);
  header->resizeSection(0, std::max(formWidth, header->sectionSize(0)));
  filling_ = false;
}

void FileTypePanel::takeCheckMark(QTreeWidgetItem* row, int column) {
  if (filling_ || column != 0) return;
  const int index = typeList_->indexOfTopLevelItem(row);
  if (index >= 0) model_.setChecked(static_cast<size_t>(index), row->checkState(0) == Qt::Checked);
}

void FileTypePanel::selectAll() {
  model_.selectAll();
  fillList();
}

void FileTypePanel::unselectAll() {
  model_.unselectAll();
  fillList();
}

void FileTypePanel::addType() {
  if (defineType_ && defineType_(model_)) fillList();
}

void FileTypePanel::deleteType() {
  const QList<QTreeWidgetItem*> rows = typeList_->selectedItems();
  if (rows.isEmpty()) return;
  const int index = typeList_->indexOfTopLevelItem(rows.front());
  if (index < 0) return;
  const std::string question = model_.deleteQuestion(static_cast<size_t>(index));
  if (question.empty() || !prompts_.question(this, capture::kCaptionVelkinWeb, question)) return;
  model_.deleteType(static_cast<size_t>(index));
  fillList();
}

}  // namespace velkin::uikit
