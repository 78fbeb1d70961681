// Fuzz target for movie addresses: the input's first line is the movie as a
// page names it, the rest the page's address (or, read as a whole, a saved
// movie's address). Nothing may crash; a movie not taken as absolute ends
// the resolved address; the file name is always one safe name that fits the
// file system with ".swf".
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "flash/model/movie_url.h"

namespace {

using velkin::flash::movieFileName;
using velkin::flash::resolveMovieUrl;

void checkSafeName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) std::abort();
  if (name.size() + 4 > NAME_MAX) std::abort();
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(size == 0 ? "" : reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string_view movie = input.substr(0, newline);
  const std::string_view page = newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

  const std::string resolved = resolveMovieUrl(movie, page);
  const size_t doubleSlash = movie.find("//");
  const bool absolute = doubleSlash != std::string_view::npos && doubleSlash > 0;
  if (absolute ? resolved != movie : resolved.size() < movie.size() ||
                                         resolved.compare(resolved.size() - movie.size(), movie.size(), movie) != 0) {
    std::abort();
  }
  checkSafeName(movieFileName(input));
  checkSafeName(movieFileName(resolved));
  (void)velkin::flash::isInFlashFolder(resolved, movie);
  return 0;
}
