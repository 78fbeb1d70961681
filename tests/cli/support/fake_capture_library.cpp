// A stand-in capture library with only the two registration entry points,
// so velkin register and unregister can be tested without the Qt capture
// library. Both succeed and change nothing.
#include <cstdint>

extern "C" {
__attribute__((visibility("default"))) std::int32_t DllRegisterServer() { return 0; }
__attribute__((visibility("default"))) std::int32_t DllUnregisterServer() { return 0; }
}
