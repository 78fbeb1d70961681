// A tiny host for the load-refusal tests: loads the library given, asks it
// for the VelkinSite class object and to register, and prints both result
// codes. The tests run copies of it under different program names.
#include <dlfcn.h>

#include <cstdio>

#include "flash/iglintcatch.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  using GetClassObject = velkin::com::HRESULT (*)(const velkin::com::GUID*, const velkin::com::GUID*, void**);
  using Register = velkin::com::HRESULT (*)();
  const auto getClassObject = reinterpret_cast<GetClassObject>(dlsym(library, "DllGetClassObject"));
  const auto registerServer = reinterpret_cast<Register>(dlsym(library, "DllRegisterServer"));
  if (getClassObject == nullptr || registerServer == nullptr) return 1;
  velkin::com::IUnknown* factory = nullptr;
  const velkin::com::HRESULT classResult = getClassObject(&velkin::flash::CLSID_VelkinSite,
                                                          &velkin::com::IID_IClassFactory,
                                                          reinterpret_cast<void**>(&factory));
  if (factory != nullptr) factory->Release();
  std::printf("class %08X register %08X\n", static_cast<unsigned>(classResult),
              static_cast<unsigned>(registerServer()));
  dlclose(library);
  return 0;
}
