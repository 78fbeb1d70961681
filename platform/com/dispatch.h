// IDispatch served from a table of members: each has a name (matched without
// regard to ASCII case), a DISPID, the number of arguments it takes and the
// function that runs it. A dual interface's object derives from
// DispatchFromTable<ITheInterface> and fills dispatchTable() in its
// constructor.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/com/interfaces.h"

namespace velkin::com {

using DispatchInvoker = std::function<HRESULT(const std::vector<Variant>& args, Variant* result)>;

struct DispatchMember {
  std::string name;
  DISPID id = 0;
  std::size_t argCount = 0;
  DispatchInvoker invoke;
};

class DispatchTable {
 public:
  void add(DispatchMember member) { members_.push_back(std::move(member)); }

  // One type information object, as for a dual interface described by a
  // registered type library.
  HRESULT getTypeInfoCount(unsigned* count) const;
  // DISP_E_UNKNOWNNAME when any name is unknown (its DISPID is
  // DISPID_UNKNOWN); only the first name is a member, further names (named
  // arguments) are never known. E_INVALIDARG for no names.
  HRESULT getIDsOfNames(const std::vector<std::string>& names, std::vector<DISPID>* ids) const;
  // DISP_E_MEMBERNOTFOUND for an unknown DISPID, DISP_E_BADPARAMCOUNT for
  // the wrong number of arguments; else the member's own result. result is
  // reset before the call and may be null.
  HRESULT invoke(DISPID id, const std::vector<Variant>& args, Variant* result) const;

 private:
  const DispatchMember* find(DISPID id) const;
  std::vector<DispatchMember> members_;
};

// An IDispatch argument of an automation call, or null for anything else.
inline IDispatch* dispatchArgument(const Variant& argument) {
  if (const auto* dispatch = std::get_if<IDispatch*>(&argument)) return *dispatch;
  return nullptr;
}

template <class Interface>
class DispatchFromTable : public Interface {
 public:
  HRESULT GetTypeInfoCount(unsigned* count) override { return table_.getTypeInfoCount(count); }
  HRESULT GetTypeInfo(unsigned, IUnknown** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetIDsOfNames(const std::vector<std::string>& names, std::vector<DISPID>* ids) override {
    return table_.getIDsOfNames(names, ids);
  }
  HRESULT Invoke(DISPID id, const std::vector<Variant>& args, Variant* result) override {
    return table_.invoke(id, args, result);
  }

 protected:
  ~DispatchFromTable() = default;
  DispatchTable& dispatchTable() { return table_; }

 private:
  DispatchTable table_;
};

}  // namespace velkin::com
