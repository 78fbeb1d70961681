// libmarrowind.so: the capture object's in-process server. Its only exports
// are the four entry points a host finds with dlsym (the linker's version
// script hides everything else):
//   DllGetClassObject    the class factory of Velkin
//   DllCanUnloadNow      S_OK when no object, server lock or held factory is left
//   DllRegisterServer    the registry script (REGISTRY 102), then the type library
//   DllUnregisterServer  both taken back; always S_OK
// The library names itself in its keys by its own path
// (platform/com/server_module.h does the work).
#include "iecapture/ivelkin.h"
#include "iecapture/velkin_object.h"
#include "platform/com/server_module.h"

namespace {

using namespace velkin;

com::ServerModule& module() {
  static com::ServerModule server({
      "marrowind",
      {com::serverClass<iecapture::Velkin>(iecapture::CLSID_Velkin)},
      {"102"},
      "Marrowind.dll",
      {iecapture::LIBID_MarrowindLib, "1.0", "Marrowind 1.0 Type Library", {}, {}, {{iecapture::IID_IVelkin, "IVelkin"}}},
  });
  return server;
}

}  // namespace

VELKIN_COM_SERVER_EXPORTS(module)
