#include "capture/file_types.h"

#include <cstring>

#include "kb/messages.h"
#include "platform/file_util.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::capture {

namespace {

constexpr char kLineEnd[] = "\r\n";

// A field as it can stand on one line: every line break (CR LF, CR or LF)
// becomes one space.
std::string oneLine(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if (c == '\r' && i + 1 < field.size() && field[i + 1] == '\n') continue;
    out.push_back(c == '\r' || c == '\n' ? ' ' : c);
  }
  return out;
}

// Reads the text line by line; a line ends at CR LF, LF or CR alone (the
// old Macintosh line end), so no line holds a line break.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}

  bool next(std::string& line) {
    if (rest_.empty()) return false;
    const size_t end = rest_.find_first_of("\r\n");
    line.assign(rest_.substr(0, end));
    if (end == std::string_view::npos) {
      rest_ = std::string_view();
    } else {
      const bool crLf = rest_[end] == '\r' && end + 1 < rest_.size() && rest_[end + 1] == '\n';
      rest_.remove_prefix(end + (crLf ? 2 : 1));
    }
    return true;
  }

 private:
  std::string_view rest_;
};

// The flag line read as a decimal number (leading blanks, an optional sign,
// digits; anything else ends the number): selected when it is not zero.
// Only whether a digit other than 0 comes before the number ends matters, so
// any length of number is read without overflow.
bool flagIsSet(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\v' || line[i] == '\f')) ++i;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) ++i;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
    if (line[i] != '0') return true;
  }
  return false;
}

}  // namespace

std::string fileTypesPath() { return platform::joinPath(platform::programDataFolder(), kFileTypesFileName); }

std::vector<FileType> parseFileTypes(std::string_view text) {
  std::vector<FileType> types;
  LineReader lines(text);
  FileType type;
  std::string flag;
  while (lines.next(type.name)) {
    const bool complete = lines.next(type.description) && lines.next(flag);
    if (!complete) flag.clear();
    type.selected = complete && flagIsSet(flag);
    if (!type.name.empty()) types.push_back(type);
    if (!complete) break;
    type = FileType{};
  }
  return types;
}

std::string formatFileTypes(const std::vector<FileType>& types) {
  std::string text;
  for (const FileType& type : types) {
    text += oneLine(type.name) + kLineEnd;
    text += oneLine(type.description) + kLineEnd;
    text += std::string(type.selected ? "1" : "0") + kLineEnd;
  }
  return text;
}

std::vector<FileType> loadFileTypes(const std::string& path, std::string* message) {
  if (message != nullptr) message->clear();
  const platform::FileRead read = platform::readFileUpTo(path, kMaxFileTypesBytes);
  std::string problem;
  switch (read.status) {
    case platform::FileRead::Status::Read:
      return parseFileTypes(read.data);
    case platform::FileRead::Status::Missing:
      return {};
    case platform::FileRead::Status::TooLarge:
      problem = platform::formatMessage(kFileTypesTooLargeMessage, path);
      break;
    case platform::FileRead::Status::Failed:
      problem = "The file type list " + path + " cannot be read: " + std::strerror(read.error);
      break;
  }
  platform::trace("filetypes", problem);
  if (message != nullptr) *message = std::move(problem);
  return {};
}

std::string saveFileTypes(const std::string& path, const std::vector<FileType>& types) {
  const std::string folder(platform::parentPath(path));
  if (!folder.empty() && !platform::isDirectory(folder) && !platform::makeFolders(folder)) {
    const std::string reason = "cannot create folder " + folder;
    platform::trace("filetypes", reason);
    return reason;
  }
  std::string reason = platform::writeFileAtomic(path, formatFileTypes(types));
  if (!reason.empty()) platform::trace("filetypes", reason);
  return reason;
}

std::string checkNewFileType(std::string_view name, const std::vector<FileType>& existing) {
  if (name.empty()) return kInputFileTypeMessage;
  for (const FileType& type : existing) {
    if (platform::equalsIgnoreCase(type.name, name)) return kFileTypeExistsMessage;
  }
  return {};
}

std::string pageFileNameFor(const std::string& fileName) {
  for (const char* extension : {".htm", ".HTM", ".html", ".HTML"}) {
    if (platform::endsWith(fileName, extension)) return fileName;
  }
  return fileName + ".htm";
}

std::string checkPageFileName(std::string_view fileName) {
  if (fileName.empty()) return kFileNameEmptyMessage;
  if (fileName == "." || fileName == ".." || fileName.find('/') != std::string_view::npos ||
      fileName.find('\0') != std::string_view::npos) {
    return kb::kInvalidLetterMessage;
  }
  return {};
}

CapturedPagePlan planCapturedPage(std::string_view fileName, const std::string& selectedPath, bool selectedIsPage) {
  static constexpr std::string_view kInvalid("\\/:*?\"<>|\0", 10);
  if (fileName.find_first_of(kInvalid) != std::string_view::npos) return {kInvalidCharacterMessage, {}};
  if (selectedPath.empty()) return {kSelectCategoryMessage, {}};
  const std::string folder = selectedIsPage ? std::string(platform::parentPath(selectedPath)) : selectedPath;
  return {{}, platform::joinPath(folder, std::string(fileName) + ".htm")};
}

SaveDialogModel::SaveDialogModel(std::string iniPath) : iniPath_(std::move(iniPath)) {}

const std::string& SaveDialogModel::open() {
  types_ = loadFileTypes(iniPath_, &loadError_);
  return loadError_;
}

void SaveDialogModel::setChecked(size_t index, bool checked) {
  if (index < types_.size()) types_[index].selected = checked;
}

void SaveDialogModel::selectAll() {
  for (FileType& type : types_) type.selected = true;
}

void SaveDialogModel::unselectAll() {
  for (FileType& type : types_) type.selected = false;
}

std::string SaveDialogModel::addType(std::string_view name, std::string_view description) {
  FileType type{oneLine(name), oneLine(description), false};
  std::string message = checkNewFileType(type.name, types_);
  if (!message.empty()) return message;
  types_.push_back(std::move(type));
  store();
  return {};
}

std::string SaveDialogModel::deleteQuestion(size_t index) const {
  if (index >= types_.size()) return {};
  return platform::formatMessage(kDeleteFileTypeQuestion, types_[index].name);
}

bool SaveDialogModel::deleteType(size_t index) {
  if (index >= types_.size()) return false;
  types_.erase(types_.begin() + static_cast<std::ptrdiff_t>(index));
  store();
  return true;
}

SaveDialogModel::SaveOutcome SaveDialogModel::save(const std::string& fileName) {
  SaveOutcome outcome;
  outcome.message = checkPageFileName(fileName);
  if (!outcome.message.empty()) return outcome;
  outcome.selectedTypes = commitCheckedTypes();
  outcome.accepted = true;
  outcome.fileName = pageFileNameFor(fileName);
  return outcome;
}

std::vector<std::string> SaveDialogModel::commitCheckedTypes() {
  std::vector<std::string> checked;
  for (const FileType& type : types_) {
    if (type.selected) checked.push_back(type.name);
  }
  store();
  return checked;
}

void SaveDialogModel::store() {
  // A file that is there but was not read is never replaced by the list
  // shown instead of it: the user's file stays as it is.
  if (!loadError_.empty()) {
    lastWriteError_ = loadError_;
    return;
  }
  lastWriteError_ = saveFileTypes(iniPath_, types_);
}

}  // namespace velkin::capture
