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

}  // namespace velkin::com
