// The user's file types: extensions of linked files (archives, documents,
// media) downloaded together with a captured page when a hyperlink points at
// them. The list lives in "filetype.ini" in the program's data folder, shared
// by every deliverable: plain text, three lines per record (name,
// description, "1" or "0" for selected), written with CR LF line ends (LF
// and CR alone are read as line ends too), no header, at most 1 MiB.
//
// SaveDialogModel holds the rules of the save dialog and of the define-type
// dialog it opens, without any toolkit: the dialogs only show the list and
// the messages it hands back.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "velkin/product.h"

namespace velkin::capture {

inline constexpr char kFileTypesFileName[] = "filetype.ini";

inline constexpr auto& kCaptionVelkinWeb = product::kCaption;
inline constexpr char kDefineFileTypeCaption[] = "Define file type";
inline constexpr char kInputFileTypeMessage[] = "Please input file type!";
inline constexpr char kFileTypeExistsMessage[] = "The file type has existed, please input again.";
inline constexpr char kDeleteFileTypeQuestion[] = "Delete the select file type: %s ?";
inline constexpr char kFileNameEmptyMessage[] = "The file name can not empty!";
inline constexpr char kDefaultPageFileName[] = "New File";
inline constexpr char kInvalidCharacterMessage[] = "The file name include invalid character!  eg: \\/:*?\"\"<>|";
inline constexpr char kSelectCategoryMessage[] = "Please select a folder!";
inline constexpr char kFileTypesTooLargeMessage[] =
    "The file type list %s is larger than 1 MiB and was not read; it is left as it is.";

// A longer "filetype.ini" is refused unread: the list is a few lines a type.
inline constexpr size_t kMaxFileTypesBytes = size_t{1} << 20;

struct FileType {
  std::string name;         // the extension without a dot, e.g. "zip"
  std::string description;  // free text, one line
  bool selected = false;

  bool operator==(const FileType& other) const {
    return name == other.name && description == other.description && selected == other.selected;
  }
};

// "filetype.ini" in the program's data folder.
std::string fileTypesPath();

// The records of a file's text. Lines end at CR LF, LF or CR alone. A
// truncated last record is kept: without its
// description line it gets an empty description, without its flag line it
// is unselected; either ends the list. The flag line is a decimal number,
// selected when not zero. Records with an empty name are dropped (a blank
// line would otherwise become a type matching every link without an
// extension), and a line break left inside a field becomes a space.
std::vector<FileType> parseFileTypes(std::string_view text);

// The file's text for a list: three CR LF terminated lines per record. A
// line break inside a name or description is written as a space, so a field
// can never add lines and shift the records after it.
std::string formatFileTypes(const std::vector<FileType>& types);

// The list in the file at path; a missing file gives an empty list. A file
// that cannot be read or is over kMaxFileTypesBytes gives an empty list
// too, with the message to show the user in *message (traced as well);
// *message is "" otherwise.
std::vector<FileType> loadFileTypes(const std::string& path, std::string* message = nullptr);

// Writes the list through a temporary file and a rename, creating the folder
// when missing. Returns "" or the reason of the failure (also traced).
std::string saveFileTypes(const std::string& path, const std::vector<FileType>& types);

// The define-type dialog's check of a new type against the names already in
// the list: "" when it may be added, else the message to show.
std::string checkNewFileType(std::string_view name, const std::vector<FileType>& existing);

// The file name the save dialog hands back: ".htm" appended unless the name
// already ends in ".htm", ".HTM", ".html" or ".HTML" (exactly these letters).
std::string pageFileNameFor(const std::string& fileName);

// The message for a file name the save dialog refuses, or "" when it is
// usable: empty, or not a single file name (contains "/" or NUL, or is "."
// or "..").
std::string checkPageFileName(std::string_view fileName);

// Where the capture dialog's Save puts the page: the refusal message, or
// the page's full path.
struct CapturedPagePlan {
  std::string message;   // "" when the page may be saved
  std::string pagePath;  // when message is ""
};

// The capture dialog's Save rules, in their order: a name with one of the
// characters \ / : * ? " < > | (or NUL) is refused; without a selected item
// (selectedPath "") the user is asked to select a folder; a selected page
// stands for its category, the root and categories for themselves; the page
// is the name with ".htm" always appended, so "" gives ".htm" and "a.htm"
// gives "a.htm.htm".
CapturedPagePlan planCapturedPage(std::string_view fileName, const std::string& selectedPath, bool selectedIsPage);

// The save dialog's rules. Created per capture; open() reads the list from
// the file, every Add and Delete and the final Save write it back. Indexes
// are rows in list order; out-of-range indexes change nothing.
class SaveDialogModel {
 public:
  explicit SaveDialogModel(std::string iniPath = fileTypesPath());

  // Reads the list (names, descriptions and check marks) from the file.
  // Returns "" or the message to show when the file is there but was not
  // read (too large, unreadable); the list is then empty and the file is
  // never written over, so Add, Delete and Save work on this dialog's list
  // alone and lastWriteError() repeats the message.
  const std::string& open();

  const std::vector<FileType>& types() const { return types_; }
  void setChecked(size_t index, bool checked);
  void selectAll();
  void unselectAll();

  // "Add": "" when the type was appended (unchecked) and the list saved,
  // else the message to show while the define-type dialog stays open.
  // Line breaks in either field become spaces.
  std::string addType(std::string_view name, std::string_view description);

  // The question to ask before deleting a row ("" for no such row).
  std::string deleteQuestion(size_t index) const;
  // "Delete" after the user answered Yes: removes the row and saves.
  bool deleteType(size_t index);

  struct SaveOutcome {
    bool accepted = false;       // false: show message, the dialog stays open
    std::string message;         // when not accepted
    std::string fileName;        // the page file name, with its extension
    std::vector<std::string> selectedTypes;  // checked names, in list order
  };
  // "Save": checks the file name, remembers the check marks in the file and
  // gives the final file name and the checked types.
  SaveOutcome save(const std::string& fileName);
  // The checked names, in list order, after remembering the check marks in
  // the file (the Save of a dialog whose name rules are its own).
  std::vector<std::string> commitCheckedTypes();

  // Why the last write of the file failed ("" when it worked). The dialog
  // carries on either way; the failure is traced.
  const std::string& lastWriteError() const { return lastWriteError_; }

 private:
  void store();

  std::string iniPath_;
  std::vector<FileType> types_;
  std::string loadError_;
  std::string lastWriteError_;
};

}  // namespace velkin::capture
