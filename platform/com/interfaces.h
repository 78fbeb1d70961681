// The interfaces of the object model our in-process servers speak: abstract
// classes whose virtual methods come in the order of the original binary
// interfaces. The calling convention is the compiler's own for virtual calls:
// every server and every host is our own C++ built with the same compiler, so
// no foreign caller has to match it.
//
// Rules as on the original platform: QueryInterface hands out a counted
// reference (the caller releases it); an interface pointer and the IUnknown
// it derives from share one address (each interface derives from exactly one
// other); out-parameters are set to null on failure. Each interface names its
// identifier with a static iid().
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

namespace velkin::com {

inline constexpr GUID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_ISupportErrorInfo{0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xC8, 0x29}};
inline constexpr GUID IID_IConnectionPointContainer{0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr GUID IID_IEnumConnectionPoints{0xB196B285, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr GUID IID_IConnectionPoint{0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

class IUnknown {
 public:
  static const GUID& iid() { return IID_IUnknown; }
  virtual HRESULT QueryInterface(const GUID& iid, void** object) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;  // objects go by Release, never by delete
};

class IClassFactory : public IUnknown {
 public:
  static const GUID& iid() { return IID_IClassFactory; }
  // A new object; with outer set it becomes part of that aggregate, and
  // then only IID_IUnknown may be asked for.
  virtual HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** object) = 0;
  virtual HRESULT LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

class IDispatch;
using DISPID = std::int32_t;
constexpr DISPID DISPID_UNKNOWN = -1;

// An automation argument or result. UTF-8 text stands for the platform's
// wide strings; interface pointers are not owned by the variant (the caller
// keeps its reference for the duration of the call). Build text variants
// from std::string, not from a string literal.
using Variant = std::variant<std::monostate, std::int32_t, std::string, IDispatch*, IUnknown*, bool>;

class IDispatch : public IUnknown {
 public:
  static const GUID& iid() { return IID_IDispatch; }
  virtual HRESULT GetTypeInfoCount(unsigned* count) = 0;
  // Type information objects are not part of this model: E_NOTIMPL.
  virtual HRESULT GetTypeInfo(unsigned index, IUnknown** info) = 0;
  // names[0] is a member; ids gets one DISPID per name (DISPID_UNKNOWN for
  // those not known, and then the result is DISP_E_UNKNOWNNAME).
  virtual HRESULT GetIDsOfNames(const std::vector<std::string>& names, std::vector<DISPID>* ids) = 0;
  // Arguments in their natural order (first argument first); result may be
  // null when the caller does not want it.
  virtual HRESULT Invoke(DISPID id, const std::vector<Variant>& args, Variant* result) = 0;

 protected:
  ~IDispatch() = default;
};

class ISupportErrorInfo : public IUnknown {
 public:
  static const GUID& iid() { return IID_ISupportErrorInfo; }
  virtual HRESULT InterfaceSupportsErrorInfo(const GUID& iid) = 0;

 protected:
  ~ISupportErrorInfo() = default;
};

class IConnectionPointContainer;

class IConnectionPoint : public IUnknown {
 public:
  static const GUID& iid() { return IID_IConnectionPoint; }
  virtual HRESULT GetConnectionInterface(GUID* iid) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
  virtual HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) = 0;
  virtual HRESULT Unadvise(std::uint32_t cookie) = 0;
  virtual HRESULT EnumConnections(IUnknown** connections) = 0;

 protected:
  ~IConnectionPoint() = default;
};

class IEnumConnectionPoints : public IUnknown {
 public:
  static const GUID& iid() { return IID_IEnumConnectionPoints; }
  // Up to count points into points[]; fetched may be null only when count
  // is 1. S_FALSE when fewer than count were left.
  virtual HRESULT Next(std::uint32_t count, IConnectionPoint** points, std::uint32_t* fetched) = 0;
  virtual HRESULT Skip(std::uint32_t count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumConnectionPoints** copy) = 0;

 protected:
  ~IEnumConnectionPoints() = default;
};

class IConnectionPointContainer : public IUnknown {
 public:
  static const GUID& iid() { return IID_IConnectionPointContainer; }
  virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) = 0;
  virtual HRESULT FindConnectionPoint(const GUID& iid, IConnectionPoint** point) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};

}  // namespace velkin::com
