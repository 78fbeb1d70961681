#include "platform/com/dispatch.h"

#include "platform/text.h"

namespace velkin::com {

HRESULT DispatchTable::getTypeInfoCount(unsigned* count) const {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT DispatchTable::getIDsOfNames(const std::vector<std::string>& names, std::vector<DISPID>* ids) const {
  if (!ids) return E_POINTER;
  ids->assign(names.size(), DISPID_UNKNOWN);
  if (names.empty()) return E_INVALIDARG;
  for (const DispatchMember& member : members_) {
    if (platform::equalsIgnoreCase(member.name, names.front())) {
      (*ids)[0] = member.id;
      return names.size() == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

const DispatchMember* DispatchTable::find(DISPID id) const {
  for (const DispatchMember& member : members_) {
    if (member.id == id) return &member;
  }
  return nullptr;
}

HRESULT DispatchTable::invoke(DISPID id, const std::vector<Variant>& args, Variant* result) const {
  Variant ignored;
  Variant* out = result ? result : &ignored;
  *out = std::monostate{};
  const DispatchMember* member = find(id);
  if (!member || !member->invoke) return DISP_E_MEMBERNOTFOUND;
  if (args.size() != member->argCount) return DISP_E_BADPARAMCOUNT;
  return member->invoke(args, out);
}

}  // namespace velkin::com
