// The save flow of a build without the toolkit: there are no dialogs to ask
// the user with, so nothing is saved and the caller is told so.
#include "flash/save_flow.h"
#include "platform/trace.h"

namespace velkin::flash {

com::HRESULT runSaveFlow(const SaveList& list) {
  platform::trace("glintcatch", "this build has no save dialog; " + std::to_string(list.size()) + " movies not saved");
  return com::E_NOTIMPL;
}

}  // namespace velkin::flash
