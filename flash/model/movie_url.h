// Movie addresses of the Flash part: how a movie named by a page becomes an
// absolute address, whether an address lies in the user's own Flash folder,
// and the file name a movie is saved under. Pure text rules; nothing here
// touches the disk. Texts are UTF-8; case rules map ASCII letters only.
#pragma once

#include <string>
#include <string_view>

namespace velkin::flash {

// The movie's absolute address from the movie as the page gives it and the
// page's address. A movie holding "//" after its first character is taken
// as absolute and kept as it is. Otherwise the page address loses its query
// (from its last "?") and its last path step (the last "/" past the
// scheme's "//"), and the movie is appended after a "/"; a movie starting
// with "/" is appended to the scheme and host only. So "intro.swf" on
// "http://host/dir/page.htm?x=1" gives "http://host/dir/intro.swf" and
// "/m/a.swf" there gives "http://host/m/a.swf". Relative steps ("../") are
// not folded, and a scheme-relative movie ("//h/a.swf") is appended like a
// path. Always produces a result.
std::string resolveMovieUrl(std::string_view movie, std::string_view pageUrl);

// Whether a movie address lies in the Flash folder: the folder's path occurs
// in the address, compared without regard to ASCII case. Movies played from
// the user's own collection are offered neither the bar nor the menu. An
// empty folder contains nothing.
bool isInFlashFolder(std::string_view movieUrl, std::string_view flashFolder);

// The name (without ".swf") a movie is saved under: for an address ending in
// ".swf" (any case) the text between the last "/" (or "\") and that ending,
// else the text after the last "=" (a player page's "movie=name"), else
// "Flash". The name is always one safe file name: only what follows its last
// "/" is kept, control characters become "_", it is cut to fit the file
// system with ".swf" appended, and an empty name, "." or ".." becomes
// "Flash". So a hostile address can never make a movie land outside the
// folder chosen for it.
std::string movieFileName(std::string_view movieUrl);

inline constexpr char kMovieExtension[] = ".swf";
inline constexpr char kFallbackMovieName[] = "Flash";

}  // namespace velkin::flash
