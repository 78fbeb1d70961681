#include "flash/model/movie_url.h"

#include <algorithm>
#include <climits>

#include "platform/text.h"

namespace velkin::flash {
namespace {

// Where the path of an absolute address can start: past "scheme://"
// ("http://" is seven characters), so the "//" itself is never cut.
constexpr size_t kPathSearchStart = 7;
constexpr size_t kLastSchemeSlash = 6;

// Longest name that still fits the file system with ".swf" appended.
constexpr size_t kLongestMovieName = NAME_MAX - (sizeof(kMovieExtension) - 1);

bool foundAfterStart(size_t at) { return at != std::string_view::npos && at > 0; }

// The page address the movie is appended to, without query and last step.
std::string movieBase(std::string_view pageUrl, bool movieIsRooted) {
  std::string base(pageUrl);
  if (const size_t query = base.rfind('?'); foundAfterStart(query)) base.resize(query);
  if (const size_t slash = base.rfind('/'); slash != std::string::npos && slash > kLastSchemeSlash) {
    base.resize(slash);
  }
  if (!movieIsRooted) {
    base += '/';
  } else if (const size_t host = base.find('/', kPathSearchStart); foundAfterStart(host)) {
    base.resize(host);
  }
  return base;
}

// The name as the address gives it, before it is made safe.
std::string rawMovieName(std::string url) {
  std::replace(url.begin(), url.end(), '\\', '/');
  if (platform::endsWithIgnoreCase(url, kMovieExtension)) {
    const size_t slash = url.rfind('/');
    if (slash == std::string::npos) return kFallbackMovieName;
    const size_t end = url.size() - (sizeof(kMovieExtension) - 1);
    return slash + 1 <= end ? url.substr(slash + 1, end - slash - 1) : std::string();
  }
  const size_t equals = url.rfind('=');
  if (equals == std::string::npos) return kFallbackMovieName;
  return url.substr(equals + 1);
}

// One path component that names a file of its own in the chosen folder.
std::string safeFileName(std::string name) {
  if (const size_t slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
  }
  name = std::string(platform::cutAtCharacter(name, kLongestMovieName));
  if (name.empty() || name == "." || name == "..") return kFallbackMovieName;
  return name;
}

}  // namespace

std::string resolveMovieUrl(std::string_view movie, std::string_view pageUrl) {
  if (foundAfterStart(movie.find("//"))) return std::string(movie);
  const bool rooted = !movie.empty() && movie.front() == '/';
  return movieBase(pageUrl, rooted) + std::string(movie);
}

// A file address writes a folder's blanks and other letters as "%XX": the
// address is compared as written and decoded.
bool isInFlashFolder(std::string_view movieUrl, std::string_view flashFolder) {
  if (flashFolder.empty()) return false;
  const std::string folder = platform::toAsciiLower(flashFolder);
  const auto holds = [&folder](std::string_view url) {
    return platform::toAsciiLower(url).find(folder) != std::string::npos;
  };
  return holds(movieUrl) || holds(platform::percentDecoded(movieUrl));
}

std::string movieFileName(std::string_view movieUrl) { return safeFileName(rawMovieName(std::string(movieUrl))); }

}  // namespace velkin::flash
