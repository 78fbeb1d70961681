// The browser-extension interfaces an in-process server's classes answer
// (site objects, bands of the browser's side pane, keyboard focus,
// persistence), with their platform identifiers. Window handles and
// messages are opaque numbers and pointers here: the windows themselves
// live in the browser extensions, so servers answer what they can and
// E_NOTIMPL for the rest.
#pragma once

#include <cstdint>

#include "platform/com/interfaces.h"

namespace velkin::com {

inline constexpr GUID IID_IObjectWithSite{0xFC4801A3, 0x2BA9, 0x11CF, {0xA2, 0x29, 0x00, 0xAA, 0x00, 0x3D, 0x73, 0x52}};
inline constexpr GUID IID_IOleWindow{0x00000114, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IDockingWindow{0x012DD920, 0x7B26, 0x11D0, {0x8C, 0xA9, 0x00, 0xA0, 0xC9, 0x2D, 0xBF, 0xE8}};
inline constexpr GUID IID_IDeskBand{0xEB0FE172, 0x1A3A, 0x11D0, {0x89, 0xB3, 0x00, 0xA0, 0xC9, 0x0A, 0x90, 0xAC}};
inline constexpr GUID IID_IInputObject{0x68284FAA, 0x6A48, 0x11D0, {0x8C, 0x78, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0xB4}};
inline constexpr GUID IID_IPersist{0x0000010C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IPersistStream{0x00000109, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

using WindowHandle = std::uintptr_t;

class IObjectWithSite : public IUnknown {
 public:
  static const GUID& iid() { return IID_IObjectWithSite; }
  virtual HRESULT SetSite(IUnknown* site) = 0;
  // The site's interface iid; E_FAIL without a site.
  virtual HRESULT GetSite(const GUID& iid, void** site) = 0;

 protected:
  ~IObjectWithSite() = default;
};

class IOleWindow : public IUnknown {
 public:
  static const GUID& iid() { return IID_IOleWindow; }
  virtual HRESULT GetWindow(WindowHandle* window) = 0;
  virtual HRESULT ContextSensitiveHelp(bool enter) = 0;

 protected:
  ~IOleWindow() = default;
};

class IDockingWindow : public IOleWindow {
 public:
  static const GUID& iid() { return IID_IDockingWindow; }
  virtual HRESULT ShowDW(bool show) = 0;
  virtual HRESULT CloseDW(std::uint32_t reserved) = 0;
  virtual HRESULT ResizeBorderDW(const void* border, IUnknown* site, bool reserved) = 0;

 protected:
  ~IDockingWindow() = default;
};

// The band's sizes, title and mode, as the pane asks for them.
struct DeskBandInfo {
  std::uint32_t mask = 0;
  std::int32_t minWidth = 0, minHeight = 0;
  std::int32_t maxWidth = 0, maxHeight = 0;
  std::int32_t integralWidth = 0, integralHeight = 0;
  std::int32_t actualWidth = 0, actualHeight = 0;
  std::string title;
  std::uint32_t mode = 0;
  std::uint32_t backgroundColour = 0;
};

class IDeskBand : public IDockingWindow {
 public:
  static const GUID& iid() { return IID_IDeskBand; }
  virtual HRESULT GetBandInfo(std::uint32_t bandId, std::uint32_t viewMode, DeskBandInfo* info) = 0;

 protected:
  ~IDeskBand() = default;
};

class IInputObject : public IUnknown {
 public:
  static const GUID& iid() { return IID_IInputObject; }
  virtual HRESULT UIActivateIO(bool activate, const void* message) = 0;
  virtual HRESULT HasFocusIO() = 0;
  virtual HRESULT TranslateAcceleratorIO(const void* message) = 0;

 protected:
  ~IInputObject() = default;
};

class IPersist : public IUnknown {
 public:
  static const GUID& iid() { return IID_IPersist; }
  virtual HRESULT GetClassID(GUID* clsid) = 0;

 protected:
  ~IPersist() = default;
};

class IPersistStream : public IPersist {
 public:
  static const GUID& iid() { return IID_IPersistStream; }
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT Load(IUnknown* stream) = 0;
  virtual HRESULT Save(IUnknown* stream, bool clearDirty) = 0;
  virtual HRESULT GetSizeMax(std::uint64_t* size) = 0;

 protected:
  ~IPersistStream() = default;
};

}  // namespace velkin::com
