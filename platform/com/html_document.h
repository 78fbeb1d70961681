// The browser's HTML document as the capture object receives it: an
// automation object that answers IHTMLDocument2. Here it stands on a
// DocumentSnapshot (the document as the browser extension reported it),
// which the capture object reads as it would query the live document.
#pragma once

#include <string>
#include <string_view>
#include <vector>

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

inline constexpr GUID IID_IHTMLWindow2{0x332C4427, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};

// The browser window a page menu was opened in: its document, its parent
// (a frame's window names the top window; the top window names itself) and
// the windows of its own frames.
class IHTMLWindow2 : public IDispatch {
 public:
  static const GUID& iid() { return IID_IHTMLWindow2; }
  virtual HRESULT get_document(IHTMLDocument2** document) = 0;
  virtual HRESULT get_parent(IHTMLWindow2** parent) = 0;
  virtual long frameCount() = 0;
  // The frame's window as an automation object; E_INVALIDARG past the end.
  virtual HRESULT frame(long index, IDispatch** window) = 0;

 protected:
  ~IHTMLWindow2() = default;
};

// A new document object over snapshot, with one reference for the caller;
// it answers IHTMLDocument2 and IDispatch ("URL" and "title" as properties).
IHTMLDocument2* createSnapshotDocument(platform::DocumentSnapshot snapshot, ModuleLock* lock = nullptr);

// The document of a snapshot message from the browser extension: S_OK with
// the object in *document, or E_FAIL (with a trace line saying why) for a
// message that is malformed, too large or of the wrong shape; E_POINTER for
// a null document.
HRESULT createDocumentFromMessage(std::string_view message, IHTMLDocument2** document);

// The top window of a page from the snapshot messages of its document and
// of its frames' documents, in frame order; the answers as above (every
// message must be readable).
HRESULT createWindowFromMessages(std::string_view top, const std::vector<std::string>& frames,
                                 IHTMLWindow2** window);

}  // namespace velkin::com
