// Reads any bytes as an Internet Shortcut file: the address found must fit
// its limit and hold no control characters, and a shortcut written for it
// must give the same address back. Aborts on any difference.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/favorites.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = size == 0 ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
  const std::string address = velkin::platform::internetShortcutAddress(text);
  check(address.size() <= velkin::platform::kMaxFavoriteAddressBytes);
  for (const char c : address) check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
  if (address.empty()) return 0;
  check(velkin::platform::internetShortcutAddress(velkin::platform::internetShortcutText(address)) == address);
  return 0;
}
