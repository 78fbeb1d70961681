// The capture object as a native host reaches it: the class registered for
// the program id Marrowind.Velkin.1 (nativehost/server_library.h).
#pragma once

#include "iecapture/ivelkin.h"
#include "platform/com/object.h"
#include "platform/registry.h"

namespace velkin::iecapture::host {

// The answer to a save when the library is not registered or cannot be loaded.
inline constexpr char kSetupIncorrect[] = "marrowind set up incorrect!\nPlease setup marrowind again.";

// A new capture object, or empty with a trace line saying why.
com::ComPtr<IVelkin> createCaptureObject(platform::Registry& registry);

}  // namespace velkin::iecapture::host
