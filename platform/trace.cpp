#include "platform/trace.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace velkin::platform {

bool traceEnabled() {
  static const bool enabled = std::getenv("VELKIN_TRACE") != nullptr;
  return enabled;
}

void trace(std::string_view where, std::string_view what) {
  if (!traceEnabled()) return;
  static std::mutex lock;
  const std::lock_guard<std::mutex> guard(lock);
  std::fprintf(stderr, "velkin: %.*s: %.*s\n", static_cast<int>(where.size()), where.data(),
               static_cast<int>(what.size()), what.data());
}

}  // namespace velkin::platform
