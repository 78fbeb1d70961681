// Internal failure traces. They go to standard error, and only when the
// environment variable VELKIN_TRACE is set; they carry no behaviour.
#pragma once

#include <string_view>

namespace velkin::platform {

bool traceEnabled();
void trace(std::string_view where, std::string_view what);

}  // namespace velkin::platform
