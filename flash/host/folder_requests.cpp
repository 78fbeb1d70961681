#include "flash/host/folder_requests.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QUrl>

#include <filesystem>
#include <system_error>

#include "flash/model/flash_folder.h"
#include "messaging/reply.h"
#include "platform/browser_extensions.h"
#include "platform/trace.h"

namespace velkin::flash::host {
namespace {

using Json = nlohmann::json;
using messaging::FolderOperation;

constexpr char kNoSuchItem[] = "The Flash folder shows no such item.";
constexpr char kNotAMovie[] = "The item is not a movie of the Flash folder.";
constexpr char kUnreadableMovie[] = "The movie cannot be read.";

// The file name an item stands for: a folder's text, a movie's text and
// its own extension letters.
std::string fileNameOf(const TreeItem& item) { return item.isPage() ? item.text + item.extension : item.text; }

const char* kindName(const TreeItem& item) {
  if (item.kind == kb::ItemKind::Root) return "root";
  return item.isPage() ? "movie" : "folder";
}

Json itemJson(const TreeItem& item) {
  Json json{{"name", item.parent == nullptr ? std::string() : fileNameOf(item)},
            {"text", item.text},
            {"kind", kindName(item)},
            {"hasChildren", item.hasChildren}};
  if (item.listed) {
    Json children = Json::array();
    for (const auto& child : item.children) children.push_back(itemJson(*child));
    json["children"] = std::move(children);
  }
  return json;
}

// The file names from below the root down to item.
Json pathJson(const TreeItem* item) {
  Json steps = Json::array();
  for (; item != nullptr && item->parent != nullptr; item = item->parent) steps.insert(steps.begin(), fileNameOf(*item));
  return steps;
}

TreeItem* childNamed(const TreeItem& folder, const std::string& name) {
  for (const auto& child : folder.children) {
    if (fileNameOf(*child) == name) return child.get();
  }
  return nullptr;
}

// The path with every link resolved, or "" when it does not exist.
std::string resolvedPath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::canonical(path, error);
  return error ? std::string() : resolved.string();
}

}  // namespace

FolderRequests::FolderRequests(platform::Registry& registry, FolderTree::Post post, std::function<void()> changed)
    : registry_(registry), post_(std::move(post)), changed_(std::move(changed)) {}

FolderRequests::~FolderRequests() = default;

FolderTree& FolderRequests::tree() {
  if (!tree_) {
    FolderTree::Options options;
    // Every task the watcher posts is a refresh after a change on disk.
    options.post = [post = post_, changed = changed_](FolderTree::Task task) {
      post([task = std::move(task), changed] {
        task();
        changed();
      });
    };
    tree_ = std::make_unique<FolderTree>(registry_, std::move(options));
    tree_->fill();
  }
  return *tree_;
}

TreeItem* FolderRequests::find(const std::vector<std::string>& path) {
  TreeItem* item = tree().root();
  for (const std::string& step : path) {
    if (item == nullptr || !item->isFolder()) return nullptr;
    if (!item->listed) tree().expand(item);
    item = childNamed(*item, step);
  }
  return item;
}

std::string FolderRequests::treeReply(const messaging::FlashRequest& request, bool done,
                                      const kb::TreeOutcome& outcome) {
  Json reply{{"done", done}};
  if (!outcome.message.empty()) reply["message"] = outcome.message;
  if (outcome.item != nullptr) reply["item"] = pathJson(outcome.item);
  if (tree().root() != nullptr) reply["tree"] = itemJson(*tree().root());
  return messaging::okReply(request.id, std::move(reply));
}

std::string FolderRequests::folderTree(const messaging::FlashRequest& request) {
  kb::TreeOutcome outcome;
  if (request.operation == FolderOperation::List) {
    tree();
    return treeReply(request, true, outcome);
  }
  if (request.operation == FolderOperation::Refresh) {
    tree().refresh();
    return treeReply(request, true, outcome);
  }
  TreeItem* item = find(request.path);
  if (item == nullptr) return messaging::errorReply(request.id, kNoSuchItem);
  switch (request.operation) {
    case FolderOperation::Expand:
      if (item->isFolder() && !item->listed) tree().expand(item);
      return treeReply(request, true, outcome);
    case FolderOperation::NewFolder:
      tree().select(item);
      outcome = tree().newFolder();
      return treeReply(request, outcome.ok && outcome.item != nullptr, outcome);
    case FolderOperation::Rename: {
      const kb::RenameStatus status = tree().rename(item, request.name, &outcome);
      if (status == kb::RenameStatus::Renamed) outcome.item = item;
      return treeReply(request, status == kb::RenameStatus::Renamed, outcome);
    }
    default:
      outcome = tree().remove(item);
      return treeReply(request, outcome.ok, outcome);
  }
}

// Only a movie file that lies in the Flash folder once every link is
// resolved is opened: a link inside the folder pointing elsewhere is not.
std::optional<std::string> FolderRequests::movieFile(const messaging::FlashRequest& request, std::string& error) {
  const TreeItem* item = find(request.path);
  const std::optional<std::string> movie = item != nullptr ? tree().movieToPlay(item) : std::nullopt;
  if (!movie) {
    error = item == nullptr ? kNoSuchItem : kNotAMovie;
    return std::nullopt;
  }
  const std::string file = resolvedPath(*movie);
  if (file.empty() || !isChangeableInside(tree().rootFolder(), file)) {
    platform::trace(platform::kGlintcatchExtension.hostProgram, "not opened, outside the Flash folder or missing: " + *movie);
    error = kNotAMovie;
    return std::nullopt;
  }
  return file;
}

std::string FolderRequests::openMovie(const messaging::FlashRequest& request) {
  std::string error;
  const std::optional<std::string> file = movieFile(request, error);
  if (!file) return messaging::errorReply(request.id, error);
  Json reply{{"path", *file},
             {"fileUrl", QUrl::fromLocalFile(QString::fromStdString(*file)).toString(QUrl::FullyEncoded).toStdString()}};
  return messaging::okReply(request.id, std::move(reply));
}

std::string FolderRequests::readMovie(const messaging::FlashRequest& request) {
  std::string error;
  const std::optional<std::string> file = movieFile(request, error);
  if (!file) return messaging::errorReply(request.id, error);
  QFile movie(QString::fromStdString(*file));
  if (!movie.open(QIODevice::ReadOnly)) return messaging::errorReply(request.id, kUnreadableMovie);
  const auto size = static_cast<std::uint64_t>(movie.size());
  if (request.offset > size) return messaging::errorReply(request.id, "\"offset\" lies past the end of the movie");
  if (!movie.seek(static_cast<qint64>(request.offset))) return messaging::errorReply(request.id, kUnreadableMovie);
  const QByteArray chunk = movie.read(static_cast<qint64>(kMovieChunkBytes));
  if (chunk.isEmpty() && request.offset < size) return messaging::errorReply(request.id, kUnreadableMovie);
  const std::uint64_t end = request.offset + static_cast<std::uint64_t>(chunk.size());
  Json reply{{"data", chunk.toBase64().toStdString()}, {"offset", request.offset}, {"size", size}, {"done", end >= size}};
  return messaging::okReply(request.id, std::move(reply));
}

}  // namespace velkin::flash::host
