#include "iecapture/capture_dialog.h"

#include <dlfcn.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "capture/document_capture.h"
#include "kb/project_tree.h"
#include "platform/file_util.h"
#include "platform/paths.h"
#include "platform/trace.h"
#include "uikit/front_window.h"
#include "uikit/download_progress_dialog.h"
#include "uikit/project_tree_view.h"
#include "uikit/save_file_dialog.h"
#include "uikit/site_link.h"

namespace velkin::iecapture {

namespace {

constexpr char kProgramName[] = "kestrova";
constexpr char kTreeRootText[] = "Project";
// Connecting to a listening local socket is immediate; a peer that does not
// answer within this time is taken for none.
constexpr int kSocketWaitMs = 1000;
// About the designed 366 by 223 dialog units, with room for the tree.
constexpr int kDialogWidth = 560;
constexpr int kDialogHeight = 520;

// The folder of the file this code was loaded from (the shared library, or
// the program it is linked into).
QString libraryFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&libraryFolder), &info) != 0 && info.dli_fname != nullptr &&
      info.dli_fname[0] == '/') {
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
  }
  return QCoreApplication::applicationDirPath();
}

QPushButton* makeButton(const QString& text, const QString& objectName, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(objectName);
  button->setAutoDefault(false);
  return button;
}

uikit::FileTypePanelForm typeListForm() {
  uikit::FileTypePanelForm form;
  form.label = QStringLiteral("List of file type");
  form.nameWidth = 80;
  form.descriptionWidth = 160;
  form.radioSelection = true;
  return form;
}

}  // namespace

CCaptureDialog::CCaptureDialog(platform::Registry& registry, QWidget* parent, std::string iniPath)
    : QDialog(parent), model_(iniPath), iniPath_(std::move(iniPath)) {
  setWindowTitle(QString::fromUtf8(capture::kCaptionVelkinWeb));
  seams_.startDetached = [](const QString& program) { return QProcess::startDetached(program, {}); };
  seams_.serverName = QString::fromStdString(platform::mainProgramSocketName());

  fileNameEdit_ = new QLineEdit(QString::fromLatin1(kDefaultFileName), this);
  fileNameEdit_->setObjectName(QStringLiteral("fileName"));
  addressEdit_ = new QLineEdit(this);
  addressEdit_->setObjectName(QStringLiteral("address"));
  auto* parameters = new QGroupBox(tr("Web Page Parameters"), this);
  auto* form = new QFormLayout(parameters);
  form->addRow(tr("File Name"), fileNameEdit_);
  form->addRow(tr("URL"), addressEdit_);

  uikit::ProjectTreeOptions treeOptions;
  treeOptions.rootText = kTreeRootText;
  treeOptions.caption = capture::kCaptionVelkinWeb;
  tree_ = new uikit::ProjectTreeView(registry, treeOptions, this);
  tree_->setFrameShape(QFrame::StyledPanel);
  // The tree and the list ask through this dialog's prompts, as set now or later.
  uikit::Prompts forwarded;
  forwarded.inform = [this](QWidget* owner, const char* caption, const std::string& text) {
    seams_.prompts.information(owner, caption, text);
  };
  forwarded.ask = [this](QWidget* owner, const char* caption, const std::string& text) {
    return seams_.prompts.question(owner, caption, text);
  };
  uikit::ProjectTreeView::Seams treeSeams;
  treeSeams.prompts = forwarded;
  // The drop road's save dialog: the main program's, in this library's form.
  treeSeams.askSaveAs = [this](const std::string& proposedName) -> std::optional<capture::SaveAsChoice> {
    uikit::SaveFileDialog dialog(proposedName, iniPath_, seams_.prompts, this, uikit::SaveFileForm::captureForm());
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return capture::SaveAsChoice{dialog.fileName(), dialog.selectedTypes()};
  };
  treeSeams.download = [this](capture::DownloadRun& run) {
    uikit::DownloadProgressDialog dialog(run, this, QString::fromLatin1(kDownloadProgressCaption));
    dialog.run();
  };
  tree_->setViewSeams(std::move(treeSeams));

  types_ = new uikit::FileTypePanel(model_, forwarded, typeListForm(), this);

  QPushButton* runButton = makeButton(tr("Run Kestrova"), QStringLiteral("runKestrova"), this);
  connect(runButton, &QPushButton::clicked, this, &CCaptureDialog::runKestrova);
  QPushButton* save = makeButton(tr("Save"), QStringLiteral("save"), this);
  save->setDefault(true);
  connect(save, &QPushButton::clicked, this, &CCaptureDialog::accept);
  QPushButton* cancel = makeButton(tr("Cancel"), QStringLiteral("cancel"), this);
  connect(cancel, &QPushButton::clicked, this, &CCaptureDialog::reject);
  auto* footer = new QHBoxLayout;
  footer->addWidget(uikit::makeSiteLink(this));
  footer->addStretch(1);
  footer->addWidget(runButton);
  footer->addWidget(save);
  footer->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(parameters);
  layout->addWidget(tree_, 1);
  layout->addWidget(new QLabel(tr("Select file type "), this));
  layout->addWidget(types_, 1);
  layout->addLayout(footer);

  types_->openList();
  resize(kDialogWidth, kDialogHeight);
  fileNameEdit_->setFocus();
}

CCaptureDialog::~CCaptureDialog() = default;

void CCaptureDialog::setSeams(Seams seams) {
  if (seams.prompts.inform) seams_.prompts.inform = std::move(seams.prompts.inform);
  if (seams.prompts.ask) seams_.prompts.ask = std::move(seams.prompts.ask);
  if (seams.startDetached) seams_.startDetached = std::move(seams.startDetached);
  if (!seams.serverName.isEmpty()) seams_.serverName = std::move(seams.serverName);
  if (seams.defineType) types_->setDefineType(std::move(seams.defineType));
}

void CCaptureDialog::setProposal(const std::string& fileName, const std::string& address) {
  fileNameEdit_->setText(QString::fromStdString(fileName));
  addressEdit_->setText(QString::fromStdString(address));
}

void CCaptureDialog::results(std::string& pagePath, std::string& fileName, std::string& address,
                             std::vector<std::string>& types) const {
  pagePath = pagePath_;
  fileName = fileName_;
  address = address_;
  types.insert(types.end(), checkedTypes_.begin(), checkedTypes_.end());
}

QTreeWidget* CCaptureDialog::typeList() const { return types_->typeList(); }

int CCaptureDialog::run() { return uikit::execInFront(*this); }

QAbstractButton* CCaptureDialog::button(const QString& objectName) const {
  return findChild<QAbstractButton*>(objectName);
}

void CCaptureDialog::accept() {
  const std::string fileName = fileNameEdit_->text().toStdString();
  const kb::TreeItem* selected = tree_->model().selected();
  const capture::CapturedPagePlan plan =
      capture::planCapturedPage(fileName, tree_->selectedPath(), selected != nullptr && selected->isPage());
  if (!plan.message.empty()) {
    seams_.prompts.information(this, capture::kCaptionVelkinWeb, plan.message);
    fileNameEdit_->setFocus();
    return;
  }
  if (platform::pathExists(plan.pagePath) &&
      !seams_.prompts.question(this, capture::kCaptionVelkinWeb, capture::kOverwriteQuestion)) {
    return;
  }
  checkedTypes_ = model_.commitCheckedTypes();
  pagePath_ = plan.pagePath;
  fileName_ = fileName;
  address_ = addressEdit_->text().toStdString();
  QDialog::accept();
}

QString CCaptureDialog::mainProgramPath() {
  const QString beside = QDir(libraryFolder()).filePath(QString::fromLatin1(kProgramName));
  const QFileInfo file(beside);
  return file.isFile() && file.isExecutable() ? beside : QString::fromLatin1(kProgramName);
}

bool CCaptureDialog::raiseMainProgram() const {
  QLocalSocket socket;
  socket.connectToServer(seams_.serverName);
  if (!socket.waitForConnected(kSocketWaitMs)) return false;
  socket.write(platform::kRaiseRequest);
  socket.write("\n");
  const bool sent = socket.waitForBytesWritten(kSocketWaitMs);
  socket.disconnectFromServer();
  return sent;
}

void CCaptureDialog::runKestrova() {
  if (raiseMainProgram()) return;
  const QString program = mainProgramPath();
  if (!seams_.startDetached(program)) platform::trace("run kestrova", "cannot start " + program.toStdString());
}

}  // namespace velkin::iecapture
