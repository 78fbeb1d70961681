#include "app/book_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "kb/meta.h"
#include "platform/text.h"
#include "uikit/site_link.h"

namespace velkin::app {

namespace {

constexpr char kBookSuffix[] = "chm";

}  // namespace

BookDialog::BookDialog(platform::Registry& registry, const std::string& title, const std::string& folder,
                       QWidget* parent)
    : QDialog(parent), registry_(registry), folder_(folder) {
  setWindowTitle(tr("Build CHM"));

  // The file chooser lives inside this dialog: its Save and Cancel end it.
  fileDialog_ = new QFileDialog(this);
  fileDialog_->setObjectName(QStringLiteral("bookFile"));
  fileDialog_->setWindowFlags(Qt::Widget);
  fileDialog_->setOption(QFileDialog::DontUseNativeDialog, true);
  fileDialog_->setAcceptMode(QFileDialog::AcceptSave);
  fileDialog_->setFileMode(QFileDialog::AnyFile);
  fileDialog_->setNameFilters({tr("CHM Files (*.chm)"), tr("All Files (*)")});
  fileDialog_->setDefaultSuffix(QString::fromLatin1(kBookSuffix));
  fileDialog_->setDirectory(QString::fromStdString(folder));
  fileDialog_->selectFile(QString::fromStdString(title + "." + kBookSuffix));
  fileDialog_->setSizeGripEnabled(false);
  connect(fileDialog_, &QFileDialog::accepted, this, &BookDialog::bookFileChosen);
  connect(fileDialog_, &QFileDialog::rejected, this, &BookDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fileDialog_, 1);
  layout->addWidget(makeAdvancePanel(title));
}

QWidget* BookDialog::makeAdvancePanel(const std::string& title) {
  auto* panel = new QGroupBox(tr("Advance"), this);
  topicEdit_ = new QLineEdit(panel);
  topicEdit_->setObjectName(QStringLiteral("topicPage"));
  auto* browse = new QPushButton(QStringLiteral("..."), panel);
  browse->setObjectName(QStringLiteral("browseTopic"));
  browse->setAutoDefault(false);
  connect(browse, &QPushButton::clicked, this, &BookDialog::browseTopic);
  auto* topicRow = new QHBoxLayout;
  topicRow->addWidget(topicEdit_, 1);
  topicRow->addWidget(browse);

  titleEdit_ = new QLineEdit(QString::fromStdString(title), panel);
  titleEdit_->setObjectName(QStringLiteral("bookTitle"));
  languageBox_ = new QComboBox(panel);
  languageBox_->setObjectName(QStringLiteral("language"));
  fillLanguages();

  const book::BookOptions options = book::readBookOptions(registry_);
  openBookBox_ = new QCheckBox(tr("Open the book"), panel);
  openBookBox_->setObjectName(QStringLiteral("openBook"));
  openBookBox_->setChecked(options.openBook);
  showProgressBox_ = new QCheckBox(tr("Show Progress"), panel);
  showProgressBox_->setObjectName(QStringLiteral("showProgress"));
  showProgressBox_->setChecked(options.showProgress);

  QLabel* site = uikit::makeSiteLink(panel);

  auto* form = new QFormLayout(panel);
  form->addRow(tr("Topic Page"), topicRow);
  form->addRow(tr("Book Title"), titleEdit_);
  form->addRow(tr("Language"), languageBox_);
  form->addRow(openBookBox_);
  form->addRow(showProgressBox_);
  form->addRow(site);
  return panel;
}

// The entries in alphabetical order (as a sorted list shows them), with the
// default entry selected.
void BookDialog::fillLanguages() {
  std::vector<std::string> entries(std::begin(book::kLanguageEntries), std::end(book::kLanguageEntries));
  std::stable_sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
    return platform::toAsciiLower(a) < platform::toAsciiLower(b);
  });
  for (const std::string& entry : entries) languageBox_->addItem(QString::fromStdString(entry));
  languageBox_->setCurrentText(QString::fromUtf8(book::kDefaultLanguage.data(),
                                                 static_cast<int>(book::kDefaultLanguage.size())));
}

void BookDialog::browseTopic() {
  const QString chosen = QFileDialog::getOpenFileName(
      this, tr("Topic Page"), QString::fromStdString(folder_),
      tr("HTM Files (*.htm)") + QStringLiteral(";;") + tr("HTML Files (*.html)") + QStringLiteral(";;") +
          tr("All Files (*)"));
  if (!chosen.isEmpty()) topicEdit_->setText(chosen);
}

void BookDialog::bookFileChosen() {
  const QStringList files = fileDialog_->selectedFiles();
  if (files.isEmpty()) {
    fileDialog_->show();
    return;
  }
  settings_.outputPath = files.front().toStdString();
  settings_.topicPage = topicEdit_->text().toStdString();
  settings_.title = titleEdit_->text().toStdString();
  settings_.language = languageBox_->currentText().toStdString();
  settings_.openBook = openBookBox_->isChecked();
  settings_.showProgress = showProgressBox_->isChecked();
  book::writeBookOptions(registry_, {settings_.showProgress, settings_.openBook});
  accept();
}

}  // namespace velkin::app
