#include "capture/file_types.h"

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

// Reads the text line by line; a line ends at LF, and one CR before it
// belongs to the line end.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}

  bool next(std::string& line) {
    if (rest_.empty()) return false;
    const size_t end = rest_.find('\n');
    std::string_view piece = rest_.substr(0, end);
    rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
    if (!piece.empty() && piece.back() == '\r') piece.remove_suffix(1);
    line = oneLine(piece);
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

std::vector<FileType> loadFileTypes(const std::string& path) {
  const auto text = platform::readFile(path);
  if (!text) return {};
  return parseFileTypes(*text);
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

SaveDialogModel::SaveDialogModel(std::string iniPath) : iniPath_(std::move(iniPath)) {}

void SaveDialogModel::open() { types_ = loadFileTypes(iniPath_); }

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
  for (const FileType& type : types_) {
    if (type.selected) outcome.selectedTypes.push_back(type.name);
  }
  store();
  outcome.accepted = true;
  outcome.fileName = pageFileNameFor(fileName);
  return outcome;
}

void SaveDialogModel::store() { lastWriteError_ = saveFileTypes(iniPath_, types_); }

}  // namespace velkin::capture
