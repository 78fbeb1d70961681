// CSearchDialog: "Search Options", the one criterion a search filters the
// project tree by: part of the file name, a creation-date range, part of the
// recorded page address, or a keyword. One radio button per criterion;
// choosing one enables only its own input (both date pickers for the date).
// OK with an empty text for the chosen criterion keeps the dialog open
// without a message; otherwise the dialog closes with filter() set.
//
// The date pickers show date and time of day; both start at the moment the
// dialog opens, and both bounds are inclusive.
#pragma once

#include <QDialog>
#include <array>
#include <ctime>
#include <optional>
#include <string>

#include "kb/page_filter.h"

class QDateTimeEdit;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velkin::app {

// The filter a search with these inputs sets; nullopt when the criterion
// needs a text and text is empty. from and to count only for the date.
std::optional<kb::PageFilter> searchFilter(kb::FilterMode mode, const std::string& text, std::time_t from,
                                           std::time_t to);

}  // namespace velkin::app

class CSearchDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CSearchDialog(QWidget* parent = nullptr);

  // The button of a criterion (FileName, Created, PageUrl, Keyword).
  QRadioButton* modeButton(velkin::kb::FilterMode mode) const;
  QLineEdit* fileNameEdit() const { return fileName_; }
  QLineEdit* urlEdit() const { return url_; }
  QLineEdit* keywordEdit() const { return keyword_; }
  QDateTimeEdit* fromEdit() const { return from_; }
  QDateTimeEdit* toEdit() const { return to_; }
  QPushButton* okButton() const { return ok_; }

  velkin::kb::FilterMode mode() const { return mode_; }
  // Turns the criterion's button on (and enables its inputs).
  void setMode(velkin::kb::FilterMode mode);
  // What OK set; mode None before that.
  const velkin::kb::PageFilter& filter() const { return filter_; }

 public slots:
  void accept() override;

 private:
  static constexpr std::size_t kModeCount = 4;
  static std::size_t indexOf(velkin::kb::FilterMode mode);
  void enableInputs();

  std::array<QRadioButton*, kModeCount> modeButtons_{};
  QLineEdit* fileName_ = nullptr;
  QLineEdit* url_ = nullptr;
  QLineEdit* keyword_ = nullptr;
  QDateTimeEdit* from_ = nullptr;
  QDateTimeEdit* to_ = nullptr;
  QPushButton* ok_ = nullptr;
  velkin::kb::FilterMode mode_ = velkin::kb::FilterMode::FileName;
  velkin::kb::PageFilter filter_;
};
