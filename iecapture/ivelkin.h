// The capture object's interface as its callers see it: the identifiers of
// the class, its interface, its type library and its event interface, and
// IVelkin itself. Hosts load libmarrowind.so, take the class factory from
// DllGetClassObject and call these methods as the browser's scripts did.
#pragma once

#include <string>

#include "platform/com/interfaces.h"
#include "platform/registry.h"

namespace velkin::iecapture {

inline constexpr com::GUID CLSID_Velkin{0x7B2EC9CF, 0x3C72, 0x4DE4, {0xB1, 0x5D, 0x75, 0x56, 0xA1, 0x56, 0x56, 0x4D}};
inline constexpr com::GUID IID_IVelkin{0x331E6A33, 0x725D, 0x4045, {0x95, 0x85, 0xE2, 0x0E, 0xFF, 0x2B, 0xCF, 0xFD}};
inline constexpr com::GUID LIBID_MarrowindLib{0xF59417A0, 0xC54E, 0x4F3B, {0x9F, 0x64, 0x21, 0x02, 0x09, 0x08, 0x8C, 0xF6}};
inline constexpr com::GUID DIID_IVelkinEvents{0xB00EABB2, 0x0CE7, 0x4E6B, {0x8B, 0xB7, 0x00, 0xE3, 0x15, 0x8B, 0x0E, 0xB6}};

inline constexpr char kProgId[] = "Marrowind.Velkin.1";
inline constexpr char kVersionIndependentProgId[] = "Marrowind.Velkin";

// DISPIDs of the three methods.
inline constexpr com::DISPID kDispidSaveDoc = 1;
inline constexpr com::DISPID kDispidSaveSelDoc = 2;
inline constexpr com::DISPID kDispidSaveImg = 3;

// Dual: the methods are also reached through IDispatch by name or DISPID.
// Each asks where to save (the capture dialog) and returns only when the
// user is done. document must answer IHTMLDocument2 (platform/com/html_document.h).
class IVelkin : public com::IDispatch {
 public:
  static const com::GUID& iid() { return IID_IVelkin; }
  // The whole page. S_FALSE: no document, or the dialog was cancelled;
  // E_FAIL: not an HTML document; S_OK: saved (whatever the downloads gave).
  virtual com::HRESULT SaveDoc(com::IDispatch* document) = 0;
  // The selection as a page with the document's style sheets; also S_FALSE
  // when the style sheets or the selection cannot be read.
  virtual com::HRESULT SaveSelDoc(com::IDispatch* document) = 0;
  // A page showing the picture at address; E_FAIL also without a document.
  virtual com::HRESULT SaveImg(com::IDispatch* document, const std::string& address) = 0;

 protected:
  ~IVelkin() = default;
};

// What a host learns of each capture beyond the result: a host may export
// this C function from its program (the library looks it up with dlsym);
// after a capture the library calls it with the page written ("" when none)
// and what went wrong ("" when nothing). A failure given to the host this
// way is not shown in a message box: the host reports it to its caller.
inline constexpr char kCaptureOutcomeHook[] = "velkinCaptureOutcome";
extern "C" {
using CaptureOutcomeHook = void (*)(const char* pagePath, const char* message);
}

// QuickSave (HKCU, dword, default 0): when 1 the three methods save without
// the capture dialog, into the category last chosen, named after the title.
inline constexpr char kMarrowindKey[] = "Software\\Kestrova\\Marrowind";
inline constexpr char kQuickSaveValue[] = "QuickSave";
inline bool quickSaveEnabled(platform::Registry& registry) {
  return registry.readDword(platform::RegistryRoot::User, kMarrowindKey, kQuickSaveValue).value_or(0) == 1;
}

// The library's entry points, as a host finds them with dlsym.
extern "C" {
using DllGetClassObjectFunction = com::HRESULT (*)(const com::GUID* clsid, const com::GUID* iid, void** object);
using DllCanUnloadNowFunction = com::HRESULT (*)();
using DllRegisterServerFunction = com::HRESULT (*)();
using DllUnregisterServerFunction = com::HRESULT (*)();
}

}  // namespace velkin::iecapture
