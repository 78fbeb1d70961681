// Velkin, the capture object: IVelkin (dual), ISupportErrorInfo (S_OK for
// IVelkin only) and IConnectionPointContainer without connection points.
// Each method runs the whole capture on the caller's thread: the capture
// dialog, the page text (whole page, selection or picture), then the
// capture job with its download behind the progress dialog. The object
// keeps no state between calls.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/document_capture.h"
#include "iecapture/ivelkin.h"
#include "platform/com/dispatch.h"
#include "platform/com/object.h"
#include "platform/registry.h"

namespace velkin::iecapture {

// What the capture dialog answers after Save.
struct SaveChoice {
  std::string pagePath;
  std::string fileName;  // as finally entered, the title of composed pages
  std::string address;   // as finally entered: base address and the one recorded
  std::vector<std::string> fileTypes;
};

// What the capture asks of the user and shows; the defaults are the
// library's dialogs (they need the host's QApplication).
struct CaptureUi {
  // The capture dialog preset with the document's title and URL; nullopt
  // when it did not end with Save.
  std::function<std::optional<SaveChoice>(const std::string& title, const std::string& url)> askWhereToSave;
  // The download of the page's resources.
  capture::DownloadHook download;
  // A capture that failed, with its reason.
  std::function<void(const std::string& message)> reportFailure;
};

class Velkin final : public com::ComObject<com::DispatchFromTable<IVelkin>, com::ISupportErrorInfo,
                                           com::IConnectionPointContainer> {
 public:
  explicit Velkin(com::ModuleLock& lock, CaptureUi ui = {});

  com::HRESULT SaveDoc(com::IDispatch* document) override;
  com::HRESULT SaveSelDoc(com::IDispatch* document) override;
  com::HRESULT SaveImg(com::IDispatch* document, const std::string& address) override;

  com::HRESULT InterfaceSupportsErrorInfo(const com::GUID& iid) override;
  com::HRESULT EnumConnectionPoints(com::IEnumConnectionPoints** points) override;
  com::HRESULT FindConnectionPoint(const com::GUID& iid, com::IConnectionPoint** point) override;

 protected:
  com::IUnknown* findInterface(const com::GUID& iid) override;

 private:
  enum class Kind { WholePage, Selection, Picture };
  com::HRESULT save(com::IDispatch* document, Kind kind, const std::string& pictureAddress);
  void fillDispatchTable();

  CaptureUi ui_;
};

// The library's own dialogs as a CaptureUi.
CaptureUi libraryDialogs();

// QuickSave's answer instead of the capture dialog: the category last chosen
// in a project tree (SelectedFolder; a page stands for its category; the
// book directory when it is gone or outside the book), the file name made
// from the title, never an existing page ("name (2)", ...), and the types
// checked in the file-type list. nullopt, with failed told why, when there
// is no book directory to save into.
std::optional<SaveChoice> quickSaveChoice(platform::Registry& registry, const std::string& title,
                                          const std::string& url, const std::string& iniPath,
                                          const std::function<void(const std::string&)>& failed);

// ui with QuickSave's answer in place of its dialog.
CaptureUi quickSaveUi(CaptureUi ui);

}  // namespace velkin::iecapture
