#include "iecapture/host/capture_object.h"

#include "nativehost/server_library.h"

namespace velkin::iecapture::host {

com::ComPtr<IVelkin> createCaptureObject(platform::Registry& registry) {
  return nativehost::createRegisteredObject<IVelkin>(registry, kProgId, CLSID_Velkin, "marrowind-host");
}

}  // namespace velkin::iecapture::host
