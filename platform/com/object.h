// Reference-counted objects of an in-process server, their class factory and
// the server's lock count.
//
// A server class derives from ComObject<Interface...> and answers
// findInterface() from a table built with lookupInterface(). Its objects are
// made through createObject() (by a ClassFactory or by the server's exports),
// start with the one reference handed to the caller and delete themselves
// when the last reference goes. Every live object and every LockServer lock
// counts into the server's ModuleLock, which the server passes in (not a
// global: two servers in one process keep their own counts).
//
// Aggregation: an object created with an outer object answers its
// interfaces' IUnknown methods by forwarding to the outer object; only its
// separate inner IUnknown (the one handed to the outer at creation) counts
// its own references and answers for its interfaces.
//
// Reference counts are atomic; everything else follows the apartment rules
// of the server's own class.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <utility>

#include "platform/com/interfaces.h"

namespace velkin::com {

// The lock count of one server: objects alive plus LockServer locks.
class ModuleLock {
 public:
  void objectCreated() { count_.fetch_add(1, std::memory_order_relaxed); }
  void objectDestroyed() { count_.fetch_sub(1, std::memory_order_acq_rel); }
  // LockServer: an unlock without a matching lock changes nothing and
  // fails (E_UNEXPECTED), so a stray call cannot let the server be unloaded
  // under live objects.
  HRESULT lockServer(bool lock);
  long count() const { return count_.load(std::memory_order_acquire); }
  bool canUnload() const { return count() == 0; }

 private:
  std::atomic<long> count_{0};
  std::atomic<long> serverLocks_{0};
};

struct InterfaceEntry {
  const GUID* iid;
  IUnknown* pointer;
};

// What all server objects share: the reference count, the outer object of
// an aggregate and the inner IUnknown. Not used directly; see ComObject.
class ComObjectCore {
 public:
  ComObjectCore(const ComObjectCore&) = delete;
  ComObjectCore& operator=(const ComObjectCore&) = delete;

  // The IUnknown that counts this object's own references (the one the
  // outer object of an aggregate holds).
  IUnknown* innerUnknown() { return &inner_; }
  // Joins an aggregate; only before any reference is handed out.
  void setOuter(IUnknown* outer) { outer_ = outer; }
  ModuleLock* moduleLock() const { return lock_; }

 protected:
  explicit ComObjectCore(ModuleLock* lock);
  virtual ~ComObjectCore();

  // The interface named by iid, or null. IID_IUnknown must give the same
  // pointer on every call (lookupInterface gives the first entry).
  virtual IUnknown* findInterface(const GUID& iid) = 0;
  static IUnknown* lookupInterface(const GUID& iid, std::initializer_list<InterfaceEntry> table);

  // The IUnknown methods of every interface of the object.
  HRESULT delegatingQueryInterface(const GUID& iid, void** object);
  std::uint32_t delegatingAddRef();
  std::uint32_t delegatingRelease();

 private:
  class Inner final : public IUnknown {
   public:
    explicit Inner(ComObjectCore* owner) : owner_(owner) {}
    virtual ~Inner() = default;
    HRESULT QueryInterface(const GUID& iid, void** object) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;

   private:
    ComObjectCore* owner_;
  };

  HRESULT answer(IUnknown* found, void** object);

  std::atomic<std::uint32_t> refs_{0};
  IUnknown* outer_ = nullptr;
  ModuleLock* lock_;
  Inner inner_{this};
};

// Base of a server class implementing Interfaces (each deriving singly from
// IUnknown). The first interface sits at the object's own address.
template <class... Interfaces>
class ComObject : public Interfaces..., public ComObjectCore {
 public:
  HRESULT QueryInterface(const GUID& iid, void** object) override {
    return delegatingQueryInterface(iid, object);
  }
  std::uint32_t AddRef() override { return delegatingAddRef(); }
  std::uint32_t Release() override { return delegatingRelease(); }

 protected:
  // lock may be null for objects that do not keep the server loaded.
  explicit ComObject(ModuleLock* lock) : ComObjectCore(lock) {}
  ~ComObject() override = default;
};

// Makes an object with make() (which returns it with no references yet, or
// null) and asks it for iid: stand-alone when outer is null, else as part
// of outer's aggregate, where iid must be IID_IUnknown
// (CLASS_E_NOAGGREGATION otherwise). E_POINTER for a null object,
// E_OUTOFMEMORY when make() fails or throws std::bad_alloc, E_FAIL when it
// throws anything else. On failure *object is null and nothing is left alive.
HRESULT createObject(IUnknown* outer, const GUID& iid, void** object,
                     const std::function<ComObjectCore*()>& make);

// An owning interface pointer: releases what it holds.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a reference of its own.
  explicit ComPtr(T* pointer) : p_(pointer) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  // Holds a reference the caller already owns (from QueryInterface or
  // CreateInstance) without adding one.
  static ComPtr adopt(T* pointer) {
    ComPtr result;
    result.p_ = pointer;
    return result;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }
  // Gives up the reference to the caller.
  T* detach() { return std::exchange(p_, nullptr); }
  // For out-parameters: releases what is held and returns where to put the
  // new reference.
  T** put() {
    reset();
    return &p_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }

  // The object's interface U (QueryInterface with U::iid()), empty when it
  // has none.
  template <class U>
  ComPtr<U> as() const {
    ComPtr<U> result;
    if (p_) p_->QueryInterface(U::iid(), result.putVoid());
    return result;
  }

 private:
  T* p_ = nullptr;
};

// The class factory of T: each CreateInstance makes a new T through make
// (by default `new T(lock)`), stand-alone or aggregated; LockServer counts
// into lock. The factory is itself an object alive of the server while
// anyone holds it.
template <class T>
class ClassFactory final : public ComObject<IClassFactory> {
 public:
  using Maker = std::function<T*(ModuleLock&)>;
  static T* makeDefault(ModuleLock& lock) { return new T(lock); }
  explicit ClassFactory(ModuleLock& lock, Maker make = makeDefault)
      : ComObject(&lock), lock_(lock), make_(std::move(make)) {}
  // A factory its server module keeps for the library's lifetime: it does
  // not count itself (the module asks whether a caller holds it), only the
  // objects it makes and the LockServer locks.
  struct KeptByModule {};
  ClassFactory(KeptByModule, ModuleLock& lock, Maker make = makeDefault)
      : ComObject(nullptr), lock_(lock), make_(std::move(make)) {}

  HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** object) override {
    return createObject(outer, iid, object, [this]() -> ComObjectCore* { return make_(lock_); });
  }
  HRESULT LockServer(bool lock) override { return lock_.lockServer(lock); }

 protected:
  IUnknown* findInterface(const GUID& iid) override {
    return lookupInterface(iid, {{&IID_IClassFactory, static_cast<IClassFactory*>(this)}});
  }

 private:
  ModuleLock& lock_;
  Maker make_;
};

}  // namespace velkin::com
