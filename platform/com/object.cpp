#include "platform/com/object.h"

#include <new>
#include <string>

#include "platform/trace.h"

namespace velkin::com {

HRESULT ModuleLock::lockServer(bool lock) {
  if (lock) {
    serverLocks_.fetch_add(1, std::memory_order_relaxed);
    count_.fetch_add(1, std::memory_order_relaxed);
    return S_OK;
  }
  long locks = serverLocks_.load(std::memory_order_relaxed);
  do {
    if (locks <= 0) return E_UNEXPECTED;
  } while (!serverLocks_.compare_exchange_weak(locks, locks - 1, std::memory_order_acq_rel));
  count_.fetch_sub(1, std::memory_order_acq_rel);
  return S_OK;
}

ComObjectCore::ComObjectCore(ModuleLock* lock) : lock_(lock) {
  if (lock_) lock_->objectCreated();
}

ComObjectCore::~ComObjectCore() {
  if (lock_) lock_->objectDestroyed();
}

IUnknown* ComObjectCore::lookupInterface(const GUID& iid, std::initializer_list<InterfaceEntry> table) {
  if (table.size() == 0) return nullptr;
  if (iid == IID_IUnknown) return table.begin()->pointer;
  for (const InterfaceEntry& entry : table) {
    if (*entry.iid == iid) return entry.pointer;
  }
  return nullptr;
}

HRESULT ComObjectCore::answer(IUnknown* found, void** object) {
  if (!found) return E_NOINTERFACE;
  // The reference is counted through the pointer handed out, so an
  // interface of an aggregated object counts on the outer object.
  found->AddRef();
  *object = found;
  return S_OK;
}

HRESULT ComObjectCore::delegatingQueryInterface(const GUID& iid, void** object) {
  if (outer_) return outer_->QueryInterface(iid, object);
  if (!object) return E_POINTER;
  *object = nullptr;
  return answer(findInterface(iid), object);
}

std::uint32_t ComObjectCore::delegatingAddRef() {
  return outer_ ? outer_->AddRef() : inner_.AddRef();
}

std::uint32_t ComObjectCore::delegatingRelease() {
  return outer_ ? outer_->Release() : inner_.Release();
}

HRESULT ComObjectCore::Inner::QueryInterface(const GUID& iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  // Inside an aggregate the inner IUnknown is this object's identity for
  // its outer object; stand-alone the first interface is.
  if (iid == IID_IUnknown && owner_->outer_) return owner_->answer(this, object);
  return owner_->answer(owner_->findInterface(iid), object);
}

std::uint32_t ComObjectCore::Inner::AddRef() {
  return owner_->refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

std::uint32_t ComObjectCore::Inner::Release() {
  const std::uint32_t left = owner_->refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete owner_;
  return left;
}

HRESULT createObject(IUnknown* outer, const GUID& iid, void** object,
                     const std::function<ComObjectCore*()>& make) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  ComObjectCore* created = nullptr;
  try {
    created = make();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception& error) {
    platform::trace("com::createObject", std::string("the object could not be made: ") + error.what());
    return E_FAIL;
  } catch (...) {
    platform::trace("com::createObject", "the object could not be made");
    return E_FAIL;
  }
  if (!created) return E_OUTOFMEMORY;
  if (outer) created->setOuter(outer);
  // Hold the object while asking, so a refused interface frees it.
  IUnknown* inner = created->innerUnknown();
  inner->AddRef();
  const HRESULT result = inner->QueryInterface(iid, object);
  inner->Release();
  return result;
}

}  // namespace velkin::com
