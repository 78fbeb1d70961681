// The Flash capture library's identity as its callers see it: the class,
// interface, type library and toolbar button identifiers of
// libglintcatch.so, and its four dual interfaces. Hosts load the library,
// take a class factory from DllGetClassObject and call these.
#pragma once

#include "platform/com/interfaces.h"

namespace velkin::flash {

// "{657EF0C4-7001-46C6-86A2-03222870A22D}" and so on: the scripts in
// flash/resources name the same values.
inline constexpr com::GUID CLSID_VelkinSite{0x657EF0C4, 0x7001, 0x46C6, {0x86, 0xA2, 0x03, 0x22, 0x28, 0x70, 0xA2, 0x2D}};
inline constexpr com::GUID CLSID_VelkinSink{0x0211D04B, 0x4441, 0x474A, {0x90, 0xF7, 0x55, 0xC9, 0x6A, 0xF3, 0x9C, 0x37}};
inline constexpr com::GUID CLSID_Searcher{0x33796C4B, 0x7611, 0x4389, {0xB2, 0x60, 0xE8, 0xE8, 0x71, 0x35, 0xB5, 0x1D}};
inline constexpr com::GUID CLSID_FlashBar{0xEE90652F, 0x48B9, 0x45B3, {0x8C, 0xBA, 0x36, 0xF1, 0x72, 0x70, 0xA0, 0x3C}};
inline constexpr com::GUID LIBID_GLINTCATCHLib{0xF18F2C95, 0x555D, 0x4FE9, {0xAE, 0xD0, 0x4F, 0xFD, 0x99, 0xD2, 0x06, 0x50}};
// The key of the browser toolbar button that opens the Flash bar.
inline constexpr com::GUID BUTTON_ID_FlashBar{0x7FBC02F3, 0x9AAA, 0x4915, {0x9B, 0xDD, 0x26, 0x00, 0xDE, 0x5F, 0x62, 0x2D}};

inline constexpr com::GUID IID_IVelkinSite{0xDABA21BF, 0xCC7D, 0x4A61, {0x96, 0x6D, 0x86, 0xE6, 0xBB, 0x82, 0xB4, 0xA7}};
inline constexpr com::GUID IID_IVelkinSink{0xBACAE6AD, 0x911C, 0x42A6, {0xB2, 0xE1, 0x50, 0x33, 0x9B, 0x80, 0x40, 0xFE}};
inline constexpr com::GUID IID_ISearcher{0x9298C9A5, 0xA567, 0x4607, {0xAB, 0xB3, 0x93, 0x63, 0x15, 0x4D, 0x33, 0x2D}};
inline constexpr com::GUID IID_IFlashBar{0xEAE05966, 0x559C, 0x45AF, {0xAC, 0xB0, 0x40, 0xF4, 0x50, 0x29, 0x2E, 0xB8}};

inline constexpr char kTypeLibraryHelpString[] = "Glintcatch 1.0 Type Library";

// The DISPIDs the objects answer.
inline constexpr com::DISPID kDispidSaveFlash = 1;
inline constexpr com::DISPID kDispidNavigateComplete2 = 252;
inline constexpr com::DISPID kDispidOnQuit = 253;
inline constexpr com::DISPID kDispidDocumentComplete = 259;
inline constexpr com::DISPID kDispidDocumentMouseOut = com::DISPID(0x80010009u);

// The browser helper object; its IDispatch is the browser's event sink.
class IVelkinSite : public com::IDispatch {
 public:
  static const com::GUID& iid() { return IID_IVelkinSite; }

 protected:
  ~IVelkinSite() = default;
};

// The event sink of one document.
class IVelkinSink : public com::IDispatch {
 public:
  static const com::GUID& iid() { return IID_IVelkinSink; }

 protected:
  ~IVelkinSink() = default;
};

// The scriptable object the page menu entries create by ProgID.
class ISearcher : public com::IDispatch {
 public:
  static const com::GUID& iid() { return IID_ISearcher; }
  // Saves the Flash movies of the browser window given.
  virtual com::HRESULT SaveFlash(com::IDispatch* window) = 0;

 protected:
  ~ISearcher() = default;
};

// The side pane band.
class IFlashBar : public com::IDispatch {
 public:
  static const com::GUID& iid() { return IID_IFlashBar; }

 protected:
  ~IFlashBar() = default;
};

}  // namespace velkin::flash
