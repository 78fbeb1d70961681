// The Flash Options dialog: the two options (Flash bar, Flash context menu
// entries), of which one always stays on, and the Flash folder with a folder
// browser. OK stores them (flash/model/flash_options.h); Cancel stores
// nothing. Opened from the Flash bar, the context menu and the folder bar,
// which refreshes its tree when the dialog ends with OK.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

#include "flash/model/flash_options.h"
#include "platform/registry.h"
#include "uikit/prompts.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace velkin::flash::ui {

inline constexpr char kToolbarBoxText[] = "Flash Toolbar";
inline constexpr char kMenuBoxText[] = "Flash Menu Embeded into Flash Context Menu";
inline constexpr char kFolderLabelText[] = "Select Flash Folder";

class OptionsDialog : public QDialog {
  Q_OBJECT

 public:
  struct Seams {
    uikit::Prompts prompts;
    // The folder browser, titled with the current folder; nullopt when the
    // user picks none. Unset: the desktop's folder chooser.
    using ChooseFolder = std::function<std::optional<QString>(QWidget* parent, const QString& current)>;
    ChooseFolder chooseFolder;
  };

  explicit OptionsDialog(platform::Registry& registry, Seams seams = {}, QWidget* parent = nullptr);

  QCheckBox* toolbarBox() const { return toolbar_; }
  QCheckBox* menuBox() const { return menu_; }
  QLineEdit* folderEdit() const { return folder_; }
  QPushButton* browseButton() const { return browse_; }
  // The options as the controls show them.
  FlashOptions shownOptions() const;

  // Stores the options; a store that cannot be written is told and the
  // dialog stays open.
  void accept() override;

 private:
  void boxClicked(OptionBox clicked);
  void browse();

  platform::Registry& registry_;
  Seams seams_;
  QCheckBox* toolbar_ = nullptr;
  QCheckBox* menu_ = nullptr;
  QLineEdit* folder_ = nullptr;
  QPushButton* browse_ = nullptr;
};

}  // namespace velkin::flash::ui
