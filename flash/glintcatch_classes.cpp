#include "flash/glintcatch_classes.h"

#include "flash/model/page_scan.h"
#include "flash/save_flow.h"
#include "platform/com/html_document.h"
#include "platform/trace.h"

namespace velkin::flash {

using com::HRESULT;

HRESULT SiteReference::get(const com::GUID& iid, void** site) const {
  if (site == nullptr) return com::E_POINTER;
  *site = nullptr;
  if (!site_) return com::E_FAIL;
  return site_->QueryInterface(iid, site);
}

HRESULT VelkinSite::Invoke(com::DISPID, const std::vector<com::Variant>&, com::Variant* result) {
  if (result != nullptr) *result = {};
  return com::S_OK;
}

// A null site is the browser letting go: the reference goes with it, so a
// closed browser window is not kept alive by its helper.
HRESULT VelkinSite::SetSite(com::IUnknown* site) {
  site_.set(site);
  return com::S_OK;
}

com::IUnknown* VelkinSite::findInterface(const com::GUID& iid) {
  IVelkinSite* self = this;
  return lookupInterface(iid, {{&com::IID_IUnknown, self},
                               {&IID_IVelkinSite, self},
                               {&com::IID_IDispatch, self},
                               {&com::IID_IObjectWithSite, static_cast<com::IObjectWithSite*>(this)}});
}

// The document's mouse-out event is the one the sink listens to; it is
// answered (the Flash probe runs in the extension's content script).
VelkinSink::VelkinSink(com::ModuleLock& lock) : ComObject(&lock) {
  dispatchTable().add({"onmouseout", kDispidDocumentMouseOut, 0,
                       [](const std::vector<com::Variant>&, com::Variant*) { return com::S_OK; }});
}

com::IUnknown* VelkinSink::findInterface(const com::GUID& iid) {
  IVelkinSink* self = this;
  return lookupInterface(iid, {{&com::IID_IUnknown, self}, {&IID_IVelkinSink, self}, {&com::IID_IDispatch, self}});
}

Searcher::Searcher(com::ModuleLock& lock) : ComObject(&lock) {
  dispatchTable().add({"SaveFlash", kDispidSaveFlash, 1, [this](const std::vector<com::Variant>& args, com::Variant*) {
                         return SaveFlash(com::dispatchArgument(args[0]));
                       }});
}

namespace {

void scanWindowDocument(com::IHTMLWindow2& window, SaveList& list) {
  com::ComPtr<com::IHTMLDocument2> document;
  if (com::SUCCEEDED(window.get_document(document.put())) && document) scanDocument(document->snapshot(), list);
}

}  // namespace

SaveList scanWindow(com::IDispatch* window) {
  SaveList list;
  com::ComPtr<com::IHTMLWindow2> shown;
  if (window == nullptr || com::FAILED(window->QueryInterface(com::IID_IHTMLWindow2, shown.putVoid())) || !shown) {
    return list;
  }
  com::ComPtr<com::IHTMLWindow2> top;
  if (com::FAILED(shown->get_parent(top.put())) || !top) top = shown;
  scanWindowDocument(*top.get(), list);
  for (long index = 0; index < top->frameCount(); ++index) {
    com::ComPtr<com::IDispatch> item;
    if (com::FAILED(top->frame(index, item.put())) || !item) break;
    com::ComPtr<com::IHTMLWindow2> frame;
    if (com::SUCCEEDED(item->QueryInterface(com::IID_IHTMLWindow2, frame.putVoid())) && frame) {
      scanWindowDocument(*frame.get(), list);
    }
  }
  return list;
}

HRESULT Searcher::SaveFlash(com::IDispatch* window) {
  if (window == nullptr) return com::S_FALSE;
  return runSaveFlow(scanWindow(window));
}

com::IUnknown* Searcher::findInterface(const com::GUID& iid) {
  ISearcher* self = this;
  return lookupInterface(iid, {{&com::IID_IUnknown, self}, {&IID_ISearcher, self}, {&com::IID_IDispatch, self}});
}

// The band window lives in the extension's side pane: a site can be let go
// of but not taken, since there is no window to put into it.
HRESULT FlashBar::SetSite(com::IUnknown* site) {
  site_.set(nullptr);
  return site == nullptr ? com::S_OK : com::E_NOTIMPL;
}

HRESULT FlashBar::GetWindow(com::WindowHandle* window) {
  if (window == nullptr) return com::E_INVALIDARG;
  *window = 0;
  return com::E_NOTIMPL;
}

HRESULT FlashBar::GetBandInfo(std::uint32_t, std::uint32_t, com::DeskBandInfo* info) {
  if (info == nullptr) return com::E_INVALIDARG;
  info->minWidth = 250;
  info->minHeight = 20;
  info->maxWidth = 0;
  info->maxHeight = -1;
  info->integralWidth = 1;
  info->integralHeight = 1;
  info->actualWidth = 250;
  info->actualHeight = 20;
  info->title = kBandTitle;
  info->mode = kBandModeVariableHeight;
  return com::S_OK;
}

HRESULT FlashBar::GetClassID(com::GUID* clsid) {
  if (clsid == nullptr) return com::E_POINTER;
  *clsid = CLSID_FlashBar;
  return com::S_OK;
}

HRESULT FlashBar::GetSizeMax(std::uint64_t* size) {
  if (size == nullptr) return com::E_POINTER;
  *size = 0;
  return com::S_OK;
}

com::IUnknown* FlashBar::findInterface(const com::GUID& iid) {
  IFlashBar* self = this;
  com::IDeskBand* band = this;
  com::IPersistStream* persist = this;
  return lookupInterface(iid, {{&com::IID_IUnknown, self},
                               {&IID_IFlashBar, self},
                               {&com::IID_IDispatch, self},
                               {&com::IID_IObjectWithSite, static_cast<com::IObjectWithSite*>(this)},
                               {&com::IID_IDeskBand, band},
                               {&com::IID_IDockingWindow, static_cast<com::IDockingWindow*>(band)},
                               {&com::IID_IOleWindow, static_cast<com::IOleWindow*>(band)},
                               {&com::IID_IInputObject, static_cast<com::IInputObject*>(this)},
                               {&com::IID_IPersistStream, persist},
                               {&com::IID_IPersist, static_cast<com::IPersist*>(persist)}});
}

}  // namespace velkin::flash
