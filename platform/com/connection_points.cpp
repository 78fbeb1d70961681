#include "platform/com/connection_points.h"

namespace velkin::com {

namespace {

class EmptyConnectionPoints final : public ComObject<IEnumConnectionPoints> {
 public:
  explicit EmptyConnectionPoints(ModuleLock* lock) : ComObject(lock) {}

  HRESULT Next(std::uint32_t count, IConnectionPoint** points, std::uint32_t* fetched) override {
    if (!points || (count != 1 && !fetched)) return E_POINTER;
    if (fetched) *fetched = 0;
    return count == 0 ? S_OK : S_FALSE;
  }
  HRESULT Skip(std::uint32_t count) override { return count == 0 ? S_OK : S_FALSE; }
  HRESULT Reset() override { return S_OK; }
  HRESULT Clone(IEnumConnectionPoints** copy) override {
    return enumerateNoConnectionPoints(moduleLock(), copy);
  }

 protected:
  IUnknown* findInterface(const GUID& iid) override {
    return lookupInterface(iid, {{&IID_IEnumConnectionPoints, static_cast<IEnumConnectionPoints*>(this)}});
  }
};

}  // namespace

HRESULT findNoConnectionPoint(IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  return CONNECT_E_NOCONNECTION;
}

HRESULT enumerateNoConnectionPoints(ModuleLock* lock, IEnumConnectionPoints** points) {
  return createObject(nullptr, IID_IEnumConnectionPoints, reinterpret_cast<void**>(points),
                      [lock]() -> ComObjectCore* { return new EmptyConnectionPoints(lock); });
}

}  // namespace velkin::com
