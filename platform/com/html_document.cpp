#include "platform/com/html_document.h"

#include <optional>
#include <string>
#include <utility>

#include "platform/com/dispatch.h"

namespace velkin::com {
namespace {

constexpr DISPID kDispidUrl = 1025;    // the browser's DISPID_IHTMLDOCUMENT2_URL
constexpr DISPID kDispidTitle = 1012;  // and DISPID_IHTMLDOCUMENT2_TITLE

class SnapshotDocument final : public ComObject<DispatchFromTable<IHTMLDocument2>> {
 public:
  SnapshotDocument(platform::DocumentSnapshot snapshot, ModuleLock* lock)
      : ComObject(lock), snapshot_(std::move(snapshot)) {
    dispatchTable().add({"URL", kDispidUrl, 0, [this](const std::vector<Variant>&, Variant* result) {
                           if (result != nullptr) *result = snapshot_.url();
                           return S_OK;
                         }});
    dispatchTable().add({"title", kDispidTitle, 0, [this](const std::vector<Variant>&, Variant* result) {
                           if (result != nullptr) *result = snapshot_.title();
                           return S_OK;
                         }});
  }

  const platform::DocumentSnapshot& snapshot() override { return snapshot_; }

 protected:
  IUnknown* findInterface(const GUID& iid) override {
    IHTMLDocument2* document = this;
    return lookupInterface(iid, {{&IID_IUnknown, document}, {&IID_IDispatch, document}, {&IID_IHTMLDocument2, document}});
  }

 private:
  const platform::DocumentSnapshot snapshot_;
};

// A window over a document; the top window holds its frames' windows,
// each of which names the top window as its parent while the top window
// lives (a frame kept longer names itself).
class SnapshotWindow final : public ComObject<DispatchFromTable<IHTMLWindow2>> {
 public:
  SnapshotWindow(ComPtr<IHTMLDocument2> document, SnapshotWindow* parent)
      : ComObject(nullptr), document_(std::move(document)), parent_(parent) {}
  ~SnapshotWindow() override {
    for (SnapshotWindow* frame : frameObjects_) frame->parent_ = nullptr;
  }

  void addFrame(ComPtr<IHTMLWindow2> frame, SnapshotWindow* object) {
    frames_.push_back(std::move(frame));
    frameObjects_.push_back(object);
  }

  HRESULT get_document(IHTMLDocument2** document) override { return hand(document_.get(), document); }
  // A frame does not hold its parent (the parent holds it): the reference
  // handed out is a new one.
  HRESULT get_parent(IHTMLWindow2** parent) override {
    return hand<IHTMLWindow2>(parent_ != nullptr ? parent_ : this, parent);
  }
  long frameCount() override { return static_cast<long>(frames_.size()); }
  HRESULT frame(long index, IDispatch** window) override {
    if (window == nullptr) return E_POINTER;
    *window = nullptr;
    if (index < 0 || index >= frameCount()) return E_INVALIDARG;
    return frames_[static_cast<size_t>(index)]->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(window));
  }

 protected:
  IUnknown* findInterface(const GUID& iid) override {
    IHTMLWindow2* window = this;
    return lookupInterface(iid, {{&IID_IUnknown, window}, {&IID_IDispatch, window}, {&IID_IHTMLWindow2, window}});
  }

 private:
  template <typename Interface>
  static HRESULT hand(Interface* object, Interface** out) {
    if (out == nullptr) return E_POINTER;
    *out = object;
    if (object == nullptr) return E_FAIL;
    object->AddRef();
    return S_OK;
  }

  ComPtr<IHTMLDocument2> document_;
  SnapshotWindow* parent_;
  std::vector<ComPtr<IHTMLWindow2>> frames_;
  std::vector<SnapshotWindow*> frameObjects_;  // the same frames, to let go of them
};

// A window over the document of message, held by *window; made is the
// object itself, for adding frames.
HRESULT createWindow(std::string_view message, SnapshotWindow* parent, ComPtr<IHTMLWindow2>& window,
                     SnapshotWindow** made) {
  ComPtr<IHTMLDocument2> document;
  if (const HRESULT result = createDocumentFromMessage(message, document.put()); FAILED(result)) return result;
  return createObject(nullptr, IID_IHTMLWindow2, window.putVoid(), [&]() -> ComObjectCore* {
    *made = new SnapshotWindow(std::move(document), parent);
    return *made;
  });
}

}  // namespace

IHTMLDocument2* createSnapshotDocument(platform::DocumentSnapshot snapshot, ModuleLock* lock) {
  IHTMLDocument2* document = nullptr;
  const HRESULT result = createObject(nullptr, IID_IHTMLDocument2, reinterpret_cast<void**>(&document),
                                      [&]() -> ComObjectCore* { return new SnapshotDocument(std::move(snapshot), lock); });
  return SUCCEEDED(result) ? document : nullptr;
}

HRESULT createDocumentFromMessage(std::string_view message, IHTMLDocument2** document) {
  if (document == nullptr) return E_POINTER;
  *document = nullptr;
  std::string error;
  std::optional<platform::DocumentSnapshot> snapshot = platform::DocumentSnapshot::fromJson(message, error);
  if (!snapshot) return E_FAIL;  // fromJson has traced why
  *document = createSnapshotDocument(std::move(*snapshot));
  return *document != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT createWindowFromMessages(std::string_view top, const std::vector<std::string>& frames,
                                 IHTMLWindow2** window) {
  if (window == nullptr) return E_POINTER;
  *window = nullptr;
  ComPtr<IHTMLWindow2> held;
  SnapshotWindow* topWindow = nullptr;
  if (const HRESULT result = createWindow(top, nullptr, held, &topWindow); FAILED(result)) return result;
  for (const std::string& frame : frames) {
    ComPtr<IHTMLWindow2> frameWindow;
    SnapshotWindow* made = nullptr;
    if (const HRESULT result = createWindow(frame, topWindow, frameWindow, &made); FAILED(result)) return result;
    topWindow->addFrame(std::move(frameWindow), made);
  }
  *window = held.detach();
  return S_OK;
}

}  // namespace velkin::com
