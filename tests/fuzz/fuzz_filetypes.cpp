// Reads any bytes as a file-type list file, writes the list back and reads it
// again: the list must come back unchanged, and the file written must be
// exactly the list's text. Aborts on any difference.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "capture/file_types.h"
#include "platform/file_util.h"

namespace {

using velkin::capture::FileType;

// A folder made once for the whole run and removed at exit.
class ScratchFolder {
 public:
  ScratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/velkin-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~ScratchFolder() { velkin::platform::removeTree(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const std::string& scratch() {
  static const ScratchFolder folder;
  return folder.path();
}

void check(bool condition) {
  if (!condition) std::abort();
}

// Every field fits on its line and every record has a name.
bool wellFormed(const std::vector<FileType>& types) {
  for (const FileType& type : types) {
    if (type.name.empty() || type.name.find_first_of("\r\n") != std::string::npos ||
        type.description.find_first_of("\r\n") != std::string::npos) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = size == 0 ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
  const std::string input = scratch() + "/input.ini";
  const std::string output = scratch() + "/filetype.ini";
  {
    std::ofstream file(input, std::ios::binary | std::ios::trunc);
    file << text;
    check(file.good());
  }
  std::string message;
  const std::vector<FileType> first = velkin::capture::loadFileTypes(input, &message);
  if (text.size() > velkin::capture::kMaxFileTypesBytes) {
    // Refused unread, with a message.
    check(first.empty() && !message.empty());
    return 0;
  }
  check(message.empty());
  check(first == velkin::capture::parseFileTypes(text));
  check(wellFormed(first));
  check(velkin::capture::saveFileTypes(output, first).empty());
  check(velkin::capture::loadFileTypes(output) == first);
  check(velkin::platform::readFile(output) == velkin::capture::formatFileTypes(first));
  return 0;
}
