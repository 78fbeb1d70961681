// The browser's HTML document as the capture object receives it: an
// automation object that answers IHTMLDocument2. Here it stands on a
// DocumentSnapshot (the document as the browser extension reported it),
// which the capture object reads as it would query the live document.
#pragma once

#include <string_view>

#include "platform/com/interfaces.h"
#include "platform/com/object.h"
#include "platform/document_snapshot.h"

namespace velkin::com {

inline constexpr GUID IID_IHTMLDocument2{0x332C4425, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};

class IHTMLDocument2 : public IDispatch {
 public:
  static const GUID& iid() { return IID_IHTMLDocument2; }
  // The document's URL, title, "all" collection, style sheets, selection
  // and the element under the pointer, with the browser's failure answers.
  virtual const platform::DocumentSnapshot& snapshot() = 0;

 protected:
  ~IHTMLDocument2() = default;
};

// A new document object over snapshot, with one reference for the caller;
// it answers IHTMLDocument2 and IDispatch ("URL" and "title" as properties).
IHTMLDocument2* createSnapshotDocument(platform::DocumentSnapshot snapshot, ModuleLock* lock = nullptr);

// The document of a snapshot message from the browser extension: S_OK with
// the object in *document, or E_FAIL (with a trace line saying why) for a
// message that is malformed, too large or of the wrong shape; E_POINTER for
// a null document.
HRESULT createDocumentFromMessage(std::string_view message, IHTMLDocument2** document);

}  // namespace velkin::com
