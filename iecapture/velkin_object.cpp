#include "iecapture/velkin_object.h"

#include <dlfcn.h>

#include <QApplication>
#include <QWidget>

#include "capture/file_types.h"
#include "capture/html_serializer.h"
#include "capture/page_texts.h"
#include "iecapture/capture_dialog.h"
#include "kb/book_dir.h"
#include "kb/layout.h"
#include "platform/com/connection_points.h"
#include "platform/com/html_document.h"
#include "platform/file_util.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "uikit/download_progress_dialog.h"
#include "uikit/message_box.h"

namespace velkin::iecapture {
namespace {

using com::HRESULT;

constexpr char kWhere[] = "marrowind";

// The page text for kind; nullopt when the document cannot give it.
std::optional<std::string> composePage(const platform::DocumentSnapshot& document, bool selection, bool picture,
                                       const SaveChoice& choice, const std::string& pictureAddress) {
  if (selection) return capture::selectionPageText(choice.fileName, document);
  if (picture) return capture::picturePageText(choice.fileName, pictureAddress);
  return capture::wholePageText(document);
}

// The host's outcome hook, when the program that loaded the library has one.
CaptureOutcomeHook hostOutcomeHook() {
  return reinterpret_cast<CaptureOutcomeHook>(dlsym(RTLD_DEFAULT, kCaptureOutcomeHook));
}

bool isInside(const std::string& path, const std::string& folder) {
  return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                            path[folder.size()] == '/');
}

// The category last chosen in a project tree, inside book.
std::string lastChosenCategory(platform::Registry& registry, const std::string& book) {
  std::string folder =
      registry.readString(platform::RegistryRoot::User, kb::kSelectedKey, kb::kSelectedFolderValue).value_or("");
  if (!folder.empty() && !platform::isDirectory(folder)) folder = std::string(platform::parentPath(folder));
  return platform::isDirectory(folder) && isInside(folder, book) ? folder : book;
}

// name, else "name (2)", "name (3)", ...: the first whose page and companion
// folder are both free in folder.
std::vector<std::string> checkedFileTypes(const std::string& iniPath) {
  capture::SaveDialogModel model(iniPath);
  if (const std::string& problem = model.open(); !problem.empty()) platform::trace(kWhere, problem);
  std::vector<std::string> names;
  for (const capture::FileType& type : model.types()) {
    if (type.selected) names.push_back(type.name);
  }
  return names;
}

}  // namespace

std::optional<SaveChoice> quickSaveChoice(platform::Registry& registry, const std::string& title,
                                          const std::string& url, const std::string& iniPath,
                                          const std::function<void(const std::string&)>& failed) {
  // The default book directory of a user who never opened the main program
  // is made, as the main program makes it at its first start. A chosen
  // BookPath that is gone (an unplugged disk) is not made up in its place.
  const std::string book = kb::bookDirectory(registry);
  if (book == kb::defaultBookDirectory() && !platform::isDirectory(book)) platform::makeFolders(book);
  if (!platform::isDirectory(book)) {
    failed("The book directory " + book + " does not exist; choose one in Kestrova.");
    return std::nullopt;
  }
  const std::string folder = lastChosenCategory(registry, book);
  // The page and its companion folder both free, as the tree's own
  // operations name things ("Story (2).htm").
  const std::string pageName =
      platform::nextFreeName(folder, capture::fittedPageFileName(capture::fileNameFromTitle(title)), false);
  SaveChoice choice;
  choice.pagePath = platform::joinPath(folder, pageName);
  choice.fileName = pageName.substr(0, pageName.size() - kb::pageExtensionLength(*kb::pageKindOf(pageName)));
  choice.address = url;
  choice.fileTypes = checkedFileTypes(iniPath);
  return choice;
}

CaptureUi quickSaveUi(CaptureUi ui) {
  ui.askWhereToSave = [failed = ui.reportFailure](const std::string& title, const std::string& url) {
    platform::Registry registry(platform::configFolder());
    return quickSaveChoice(registry, title, url, capture::fileTypesPath(), failed);
  };
  return ui;
}

Velkin::Velkin(com::ModuleLock& lock, CaptureUi ui) : ComObject(&lock), ui_(std::move(ui)) {
  if (!ui_.askWhereToSave || !ui_.download || !ui_.reportFailure) {
    CaptureUi dialogs = libraryDialogs();
    if (!ui_.askWhereToSave) ui_.askWhereToSave = std::move(dialogs.askWhereToSave);
    if (!ui_.download) ui_.download = std::move(dialogs.download);
    if (!ui_.reportFailure) ui_.reportFailure = std::move(dialogs.reportFailure);
  }
  fillDispatchTable();
}

void Velkin::fillDispatchTable() {
  dispatchTable().add({"SaveDoc", kDispidSaveDoc, 1, [this](const std::vector<com::Variant>& args, com::Variant*) {
                         return SaveDoc(com::dispatchArgument(args[0]));
                       }});
  dispatchTable().add({"SaveSelDoc", kDispidSaveSelDoc, 1,
                       [this](const std::vector<com::Variant>& args, com::Variant*) {
                         return SaveSelDoc(com::dispatchArgument(args[0]));
                       }});
  dispatchTable().add({"SaveImg", kDispidSaveImg, 2, [this](const std::vector<com::Variant>& args, com::Variant*) {
                         const auto* text = std::get_if<std::string>(&args[1]);
                         if (text == nullptr && !std::holds_alternative<std::monostate>(args[1])) {
                           return com::DISP_E_TYPEMISMATCH;
                         }
                         return SaveImg(com::dispatchArgument(args[0]), text != nullptr ? *text : std::string());
                       }});
}

com::IUnknown* Velkin::findInterface(const com::GUID& iid) {
  IVelkin* velkin = this;
  return lookupInterface(iid, {{&com::IID_IUnknown, velkin},
                               {&IID_IVelkin, velkin},
                               {&com::IID_IDispatch, velkin},
                               {&com::IID_ISupportErrorInfo, static_cast<com::ISupportErrorInfo*>(this)},
                               {&com::IID_IConnectionPointContainer, static_cast<com::IConnectionPointContainer*>(this)}});
}

HRESULT Velkin::InterfaceSupportsErrorInfo(const com::GUID& iid) { return iid == IID_IVelkin ? com::S_OK : com::S_FALSE; }

HRESULT Velkin::EnumConnectionPoints(com::IEnumConnectionPoints** points) {
  return com::enumerateNoConnectionPoints(moduleLock(), points);
}

HRESULT Velkin::FindConnectionPoint(const com::GUID&, com::IConnectionPoint** point) {
  return com::findNoConnectionPoint(point);
}

HRESULT Velkin::SaveDoc(com::IDispatch* document) { return save(document, Kind::WholePage, {}); }
HRESULT Velkin::SaveSelDoc(com::IDispatch* document) { return save(document, Kind::Selection, {}); }
HRESULT Velkin::SaveImg(com::IDispatch* document, const std::string& address) {
  return save(document, Kind::Picture, address);
}

// The steps every method shares: the document, the dialog, the page text,
// the capture. The capture's own outcome (downloads, writing) never changes
// the result once the dialog ended with Save.
HRESULT Velkin::save(com::IDispatch* document, Kind kind, const std::string& pictureAddress) {
  if (document == nullptr) return kind == Kind::Picture ? com::E_FAIL : com::S_FALSE;
  com::ComPtr<com::IHTMLDocument2> html;
  if (com::FAILED(document->QueryInterface(com::IID_IHTMLDocument2, html.putVoid())) || !html) return com::E_FAIL;
  const platform::DocumentSnapshot& snapshot = html->snapshot();

  // QuickSave is read on every call: the object keeps nothing between calls.
  platform::Registry registry(platform::configFolder());
  const CaptureOutcomeHook hook = hostOutcomeHook();
  CaptureUi ui = ui_;
  if (hook != nullptr) ui.reportFailure = [hook](const std::string& message) { hook("", message.c_str()); };
  if (quickSaveEnabled(registry)) ui = quickSaveUi(std::move(ui));

  const std::optional<SaveChoice> choice = ui.askWhereToSave(snapshot.title(), snapshot.url());
  if (!choice) return com::S_FALSE;
  const std::optional<std::string> page =
      composePage(snapshot, kind == Kind::Selection, kind == Kind::Picture, *choice, pictureAddress);
  if (!page) {
    platform::trace(kWhere, "the style sheets or the selection of " + snapshot.url() + " cannot be read");
    return com::S_FALSE;
  }

  capture::CaptureOptions options;
  options.fileTypes = choice->fileTypes;
  options.maxFileSize = capture::maxFileSizeSetting(registry);
  options.complete = capture::completeCaptureSetting(registry);
  // The dialog asked before an existing page may be replaced.
  options.replace = platform::pathExists(choice->pagePath);
  // A first capture before the knowledge base was ever opened goes into the
  // book directory, which does not exist yet: it is made, as the main
  // program makes it. Categories are never made up.
  const std::string folder(platform::parentPath(choice->pagePath));
  if (folder == kb::bookDirectory(registry) && !platform::isDirectory(folder)) platform::makeFolders(folder);
  // Markup from a live document is brought into the form the engine reads;
  // an empty text stays empty (the page is then its header alone).
  const capture::CaptureResult result =
      page->empty() ? capture::captureSource({}, capture::kCaptureHtml, choice->address, choice->pagePath, options,
                                             ui.download)
                    : capture::captureDocument(capture::serializeHtml(*page), choice->address, choice->pagePath,
                                               options, ui.download);
  if (!result.captured && !result.error.empty()) {
    ui.reportFailure(result.error);
  } else if (hook != nullptr && result.captured) {
    hook((result.pagePath.empty() ? choice->pagePath : result.pagePath).c_str(), "");
  }
  return com::S_OK;
}

CaptureUi libraryDialogs() {
  CaptureUi ui;
  ui.askWhereToSave = [](const std::string& title, const std::string& url) -> std::optional<SaveChoice> {
    platform::Registry registry(platform::configFolder());
    // Without an owner the dialog is modal to the window in front.
    CCaptureDialog dialog(registry, QApplication::activeWindow());
    dialog.setProposal(title, url);
    if (dialog.run() != QDialog::Accepted) return std::nullopt;
    SaveChoice choice;
    dialog.results(choice.pagePath, choice.fileName, choice.address, choice.fileTypes);
    return choice;
  };
  ui.download = [](capture::DownloadRun& run) {
    uikit::DownloadProgressDialog dialog(run, QApplication::activeWindow(), kDownloadProgressCaption);
    dialog.run();
  };
  ui.reportFailure = [](const std::string& message) {
    uikit::showInformation(QApplication::activeWindow(), capture::kCaptionVelkinWeb, message);
  };
  return ui;
}

}  // namespace velkin::iecapture
