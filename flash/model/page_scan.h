// Finding the Flash movies of a page in the browser's document as the
// browser extension reports it (platform/document_snapshot.h).
//
// An element is a Flash movie when it is an OBJECT whose classid is the
// Flash player's class (clsid:D27CDB6E-AE6D-11cf-96B8-444553540000, any
// case) or whose type is application/x-shockwave-flash, or the player
// element that stands in for such an OBJECT once the bundled player has
// replaced it (RUFFLE-OBJECT). EMBED elements, and the player element that
// stands in for one (RUFFLE-EMBED), are never movies. A movie's address is
// its "movie" parameter, else its "src" parameter, else its data attribute,
// resolved against the document's address (movie_url.h). Pure functions;
// any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "flash/model/save_record.h"
#include "platform/document_snapshot.h"

namespace velkin::flash {

// Whether the element is a Flash movie, as described above.
bool isFlashMovieElement(const platform::SnapshotElement& element);

// The movie as the element names it (not yet resolved); nullopt when the
// element is no Flash movie or names no movie at all.
std::optional<std::string> elementMovie(const platform::SnapshotElement& element);

// Appends a record for every Flash movie of the document, in document order;
// identical movies give one record each. A movie element naming no movie
// adds nothing (it has nothing to save).
void scanDocument(const platform::DocumentSnapshot& document, SaveList& list);

// The movies of a page: its top document first, then each of its frames in
// order. Frames inside frames are not visited; a caller hands over the
// documents of the top window's own frames only.
SaveList scanPage(const platform::DocumentSnapshot& top, const std::vector<platform::DocumentSnapshot>& frames);

}  // namespace velkin::flash
