// libglintcatch.so: the Flash capture library's in-process server. Its only
// exports are the four entry points (the linker's version script hides
// everything else):
//   DllGetClassObject    the class factories of VelkinSite, VelkinSink,
//                        Searcher and FlashBar
//   DllCanUnloadNow      S_OK when no object, server lock or held factory is left
//   DllRegisterServer    the four classes' registry scripts (REGISTRY 201-204),
//                        then the type library
//   DllUnregisterServer  all taken back; S_OK
// Loaded into a program whose path names the desktop's file manager
// ("explorer.exe" in any letter case), the library serves nothing: see
// refuseFileManager below.
#include <unistd.h>

#include <climits>
#include <string>

#include "flash/glintcatch_classes.h"
#include "flash/iglintcatch.h"
#include "platform/com/server_module.h"
#include "platform/text.h"

namespace {

using namespace velkin;

com::ServerModule& module() {
  static com::ServerModule server({
      "glintcatch",
      {com::serverClass<flash::VelkinSite>(flash::CLSID_VelkinSite),
       com::serverClass<flash::VelkinSink>(flash::CLSID_VelkinSink),
       com::serverClass<flash::Searcher>(flash::CLSID_Searcher),
       com::serverClass<flash::FlashBar>(flash::CLSID_FlashBar)},
      {"201", "202", "203", "204"},
      "Glintcatch.DLL",
      {flash::LIBID_GLINTCATCHLib,
       "1.0",
       flash::kTypeLibraryHelpString,
       {},
       {},
       {{flash::IID_IVelkinSite, "IVelkinSite"},
        {flash::IID_IVelkinSink, "IVelkinSink"},
        {flash::IID_ISearcher, "ISearcher"},
        {flash::IID_IFlashBar, "IFlashBar"}}},
  });
  return server;
}

// The library is meant for browsers only. A shared library cannot fail its
// own loading, so the refusal is the closest thing: the module answers no
// class and registers nothing in that process.
__attribute__((constructor)) void refuseFileManager() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return;
  const std::string program(path, static_cast<size_t>(length));
  if (platform::toAsciiUpper(program).find("EXPLORER.EXE") != std::string::npos) {
    module().refuse("loaded by " + program);
  }
}

}  // namespace

VELKIN_COM_SERVER_EXPORTS(module)
