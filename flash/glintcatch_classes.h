// The four classes of libglintcatch.so. What they watch and show in the
// browser (navigation, the document under the pointer, the Flash bar's
// window) happens in the Glintcatch browser extension; here the objects
// answer their interfaces as the browser expects and keep what it gives
// them:
//
//   VelkinSite  IVelkinSite, IDispatch (the browser's event sink: every
//               event is accepted), IObjectWithSite (keeps the site)
//   VelkinSink  IVelkinSink, IDispatch (the document's events: accepted)
//   Searcher    ISearcher, IDispatch: SaveFlash (the page scan, then the
//               save flow of flash/save_flow.h)
//   FlashBar    IFlashBar, IDispatch, IObjectWithSite, IDeskBand,
//               IDockingWindow, IOleWindow, IInputObject, IPersistStream,
//               IPersist: its band information and class; no band window
//               of its own (E_NOTIMPL where one is needed)
#pragma once

#include "flash/iglintcatch.h"
#include "flash/model/save_record.h"
#include "platform/com/dispatch.h"
#include "platform/com/object.h"
#include "platform/com/shell_interfaces.h"

namespace velkin::flash {

// The band's mode flag for a pane whose height the user may change.
inline constexpr std::uint32_t kBandModeVariableHeight = 0x0008;
inline constexpr char kBandTitle[] = "Velkin Web for Flash";

// The site an object was given, for GetSite.
class SiteReference {
 public:
  void set(com::IUnknown* site) { site_ = com::ComPtr<com::IUnknown>(site); }
  com::HRESULT get(const com::GUID& iid, void** site) const;

 private:
  com::ComPtr<com::IUnknown> site_;
};

class VelkinSite final : public com::ComObject<com::DispatchFromTable<IVelkinSite>, com::IObjectWithSite> {
 public:
  explicit VelkinSite(com::ModuleLock& lock) : ComObject(&lock) {}
  // Browser events: each is accepted and left to the extension.
  com::HRESULT Invoke(com::DISPID id, const std::vector<com::Variant>& args, com::Variant* result) override;
  com::HRESULT SetSite(com::IUnknown* site) override;
  com::HRESULT GetSite(const com::GUID& iid, void** site) override { return site_.get(iid, site); }

 protected:
  com::IUnknown* findInterface(const com::GUID& iid) override;

 private:
  SiteReference site_;
};

class VelkinSink final : public com::ComObject<com::DispatchFromTable<IVelkinSink>> {
 public:
  explicit VelkinSink(com::ModuleLock& lock);

 protected:
  com::IUnknown* findInterface(const com::GUID& iid) override;
};

// The movies of the page a browser window shows: the document of its top
// window (its parent, or itself), then the documents of the top window's
// own frames in order; frames inside frames are not visited. Steps that
// fail are skipped; a frame that is no automation object ends the frames.
SaveList scanWindow(com::IDispatch* window);

class Searcher final : public com::ComObject<com::DispatchFromTable<ISearcher>> {
 public:
  explicit Searcher(com::ModuleLock& lock);
  com::HRESULT SaveFlash(com::IDispatch* window) override;

 protected:
  com::IUnknown* findInterface(const com::GUID& iid) override;
};

class FlashBar final : public com::ComObject<com::DispatchFromTable<IFlashBar>, com::IObjectWithSite, com::IDeskBand,
                                             com::IInputObject, com::IPersistStream> {
 public:
  explicit FlashBar(com::ModuleLock& lock) : ComObject(&lock) {}

  com::HRESULT SetSite(com::IUnknown* site) override;
  com::HRESULT GetSite(const com::GUID& iid, void** site) override { return site_.get(iid, site); }

  com::HRESULT GetWindow(com::WindowHandle* window) override;
  com::HRESULT ContextSensitiveHelp(bool) override { return com::E_NOTIMPL; }
  com::HRESULT ShowDW(bool) override { return com::E_NOTIMPL; }
  com::HRESULT CloseDW(std::uint32_t) override { return com::E_NOTIMPL; }
  com::HRESULT ResizeBorderDW(const void*, com::IUnknown*, bool) override { return com::E_NOTIMPL; }
  com::HRESULT GetBandInfo(std::uint32_t bandId, std::uint32_t viewMode, com::DeskBandInfo* info) override;

  com::HRESULT UIActivateIO(bool, const void*) override { return com::E_NOTIMPL; }
  com::HRESULT HasFocusIO() override { return com::S_FALSE; }
  com::HRESULT TranslateAcceleratorIO(const void*) override { return com::S_FALSE; }

  com::HRESULT GetClassID(com::GUID* clsid) override;
  com::HRESULT IsDirty() override { return com::S_FALSE; }
  com::HRESULT Load(com::IUnknown*) override { return com::S_OK; }
  com::HRESULT Save(com::IUnknown*, bool) override { return com::S_OK; }
  com::HRESULT GetSizeMax(std::uint64_t* size) override;

 protected:
  com::IUnknown* findInterface(const com::GUID& iid) override;

 private:
  SiteReference site_;
};

}  // namespace velkin::flash
