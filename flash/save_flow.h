// The save flow the Flash library runs for its callers (the page menu's
// Searcher, the Flash bar): the save dialog with the movies collected, then
// the download dialog for those the user keeps. It is part of the library's
// build: with the dialogs in a build with the toolkit, and in a build
// without it a flow that saves nothing and says so.
#pragma once

#include "flash/model/save_record.h"
#include "platform/com/hresult.h"

namespace velkin::flash {

// S_OK once the flow has ended, whatever the user chose; a failure when the
// dialogs cannot be shown in this process.
com::HRESULT runSaveFlow(const SaveList& list);

}  // namespace velkin::flash
