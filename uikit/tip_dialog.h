// The tip of the day: TipStore holds the rules (which tip comes next, whether
// tips are shown at start-up) over a tips file and the profile section "Tip"
// (values "StartUp", "FilePos", "TimeStamp"); CTipDialog only shows them.
//
// The tips file has one tip a line; empty lines and lines starting with ";"
// are skipped. "FilePos" is the offset of the next tip to show, "TimeStamp"
// the file's modification time when that offset was taken: when the file
// changes, the tips start again from its first line. After the last tip the
// first one follows.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "platform/registry.h"

class QCheckBox;
class QLabel;

namespace velkin::uikit {

class TipStore {
 public:
  // sectionKey: the "Tip" section's key under the user root.
  TipStore(platform::Registry& registry, std::string sectionKey, std::string tipsFile);

  // "StartUp": on unless stored as 0.
  bool showAtStartUp() const;
  void setShowAtStartUp(bool on);

  // The next tip, remembering where the one after it starts. nullopt when
  // the file cannot be read or holds no tip; error() then tells why.
  std::optional<std::string> nextTip();
  const std::string& error() const { return error_; }

 private:
  platform::Registry& registry_;
  std::string sectionKey_;
  std::string tipsFile_;
  std::string error_;
};

inline constexpr char kTipsFileMissing[] = "The tips file could not be read: %s";
inline constexpr char kTipsFileEmpty[] = "The tips file holds no tips: %s";

class CTipDialog : public QDialog {
  Q_OBJECT

 public:
  CTipDialog(platform::Registry& registry, const std::string& sectionKey, const std::string& tipsFile,
             QWidget* parent = nullptr);

  bool showAtStartUp() const { return store_.showAtStartUp(); }
  QString tipText() const;
  QCheckBox* startUpBox() const { return startUpBox_; }

 public slots:
  void showNextTip();
  // Stores the "Show tips on StartUp" choice as the dialog closes.
  void done(int result) override;

 private:
  TipStore store_;
  QLabel* tipLabel_ = nullptr;
  QCheckBox* startUpBox_ = nullptr;
};

}  // namespace velkin::uikit
