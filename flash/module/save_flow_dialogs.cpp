// The save flow with the Flash dialogs (flash/ui), shown in the process that
// loaded the library: it must be a widgets application, as the hosts are.
#include <QApplication>

#include "flash/save_flow.h"
#include "flash/ui/save_dialog.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/trace.h"

namespace velkin::flash {

com::HRESULT runSaveFlow(const SaveList& list) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    platform::trace("glintcatch", "no widgets application in this process: the save dialog cannot be shown");
    return com::E_FAIL;
  }
  platform::Registry registry(platform::configFolder());
  ui::runSaveFlow(list, registry, QApplication::activeWindow());
  return com::S_OK;
}

}  // namespace velkin::flash
