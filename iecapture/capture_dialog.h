// CCaptureDialog: the capture library's one question before it saves a
// page: into which category (the project tree, its root called "Project"),
// under which file name, with which recorded address, and which of the
// user's file types to download with it. The caller presets the file name
// and the address, runs the dialog and, after Save, takes the results.
//
// Save checks, in this order: no invalid character in the name, a selected
// item (a selected page stands for its category), the page file is the name
// with ".htm" always appended, and an existing file is only replaced after
// the user agrees; then the check marks are written to "filetype.ini" and
// the checked type names become the result. Cancel writes nothing. Add and
// Delete change and write the list at once; Select All and Deselect All
// only change the marks.
//
// "Run Kestrova" brings a running main program to the front through its
// local socket (platform::mainProgramSocketName()), else starts it from
// this library's folder or from PATH; a failure is not reported.
//
// The category tree moves dragged items, copies dropped files and captures
// dropped HTML or text like the main program's; a click on a page only
// selects it (there is no window here that shows pages). The tree writes
// SelectedFolder when the dialog goes. UI thread only.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "capture/file_types.h"
#include "platform/registry.h"
#include "uikit/file_type_panel.h"
#include "uikit/prompts.h"

class QAbstractButton;
class QLineEdit;
class QTreeWidget;

namespace velkin::uikit {
class ProjectTreeView;
}

namespace velkin::iecapture {

inline constexpr char kDownloadProgressCaption[] = "Download Progress...";
inline constexpr char kDefaultFileName[] = "Doc";

class CCaptureDialog : public QDialog {
  Q_OBJECT

 public:
  struct Seams {
    uikit::Prompts prompts;
    // Starts program without waiting for it; false when it cannot start.
    std::function<bool(const QString& program)> startDetached;
    // The main program's local socket; empty: the user's.
    QString serverName;
    // The define-type dialog of Add.
    uikit::FileTypePanel::DefineType defineType;
  };

  // registry: the settings store of the tree (BookPath, SelectedFolder);
  // iniPath: the file-type list shared with the main program.
  explicit CCaptureDialog(platform::Registry& registry, QWidget* parent = nullptr,
                          std::string iniPath = capture::fileTypesPath());
  ~CCaptureDialog() override;

  // Replaces the seams that are set in seams; unset ones keep their defaults.
  void setSeams(Seams seams);

  // The file name (without extension) and the address to preset.
  void setProposal(const std::string& fileName, const std::string& address);
  // Runs the dialog modally: QDialog::Accepted after Save, else Rejected.
  // It comes to the front and takes the focus: its host is a process of its
  // own, started behind the browser's window.
  int run();
  // After Save: the full path of the page file to write, the file name and
  // the address as typed, and the checked type names appended to types.
  void results(std::string& pagePath, std::string& fileName, std::string& address,
               std::vector<std::string>& types) const;

  // The program "Run Kestrova" starts when none runs: "kestrova" in the
  // folder of this library when it is there, else "kestrova" from PATH.
  static QString mainProgramPath();

  uikit::ProjectTreeView* tree() const { return tree_; }
  QLineEdit* fileNameEdit() const { return fileNameEdit_; }
  QLineEdit* addressEdit() const { return addressEdit_; }
  QTreeWidget* typeList() const;
  QAbstractButton* button(const QString& objectName) const;

 public slots:
  void accept() override;  // "Save"
  void runKestrova();

 private:
  bool raiseMainProgram() const;

  capture::SaveDialogModel model_;
  std::string iniPath_;
  Seams seams_;
  QLineEdit* fileNameEdit_ = nullptr;
  QLineEdit* addressEdit_ = nullptr;
  uikit::ProjectTreeView* tree_ = nullptr;
  uikit::FileTypePanel* types_ = nullptr;
  std::string pagePath_;
  std::string fileName_;
  std::string address_;
  std::vector<std::string> checkedTypes_;
};

}  // namespace velkin::iecapture
