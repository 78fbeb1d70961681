#include "flash/host/flash_requests.h"

#include <QCoreApplication>
#include <QDialog>
#include <QMetaObject>

#include "flash/model/flash_options.h"
#include "flash/ui/about_dialog.h"
#include "flash/ui/flash_help.h"
#include "flash/ui/options_dialog.h"
#include "flash/model/flash_folder.h"
#include "flash/model/movie_url.h"
#include "messaging/reply.h"
#include "nativehost/server_library.h"
#include "platform/com/html_document.h"
#include "platform/paths.h"
#include "platform/browser_extensions.h"
#include "platform/trace.h"
#include "uikit/front_window.h"

namespace velkin::flash::host {
namespace {

using Json = nlohmann::json;
using messaging::FlashRequestKind;

const char* const kWhere = platform::kGlintcatchExtension.hostProgram;

// Runs task on the UI thread.
void postToUiThread(FolderTree::Task task) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

// A save-movie request as a page: the page's address and the one movie,
// so that the Searcher saves that movie as it saves a page's.
std::string moviePage(const messaging::FlashRequest& request) {
  const Json element{{"tagName", "OBJECT"},
                     {"attributes", {{"type", "application/x-shockwave-flash"}, {"data", request.movie}}}};
  return Json{{"url", request.pageUrl}, {"all", Json::array({element})}}.dump(-1, ' ', false,
                                                                             Json::error_handler_t::replace);
}

}  // namespace

FlashRequests::FlashRequests(nativehost::HostSession& session, bool callerAllowed)
    : callerAllowed_(callerAllowed),
      registry_(platform::configFolder()),
      folders_(registry_, postToUiThread, [&session] { session.push(kFolderChangedEvent); }) {}

std::string FlashRequests::answer(std::string_view body) {
  return messaging::answerFlashMessage(body, callerAllowed_,
                                       [this](const messaging::FlashRequest& request) { return handle(request); });
}

std::string FlashRequests::handle(const messaging::FlashRequest& request) {
  switch (request.kind) {
    case FlashRequestKind::Probe: return probe(request);
    case FlashRequestKind::Options: return options(request);
    case FlashRequestKind::FolderTree: return folders_.folderTree(request);
    case FlashRequestKind::OpenMovie: return folders_.openMovie(request);
    case FlashRequestKind::ReadMovie: return folders_.readMovie(request);
    case FlashRequestKind::Dialog: return dialog(request);
    default: return save(request);
  }
}

std::string FlashRequests::probe(const messaging::FlashRequest& request) {
  const std::string movieUrl = resolveMovieUrl(request.movie, request.pageUrl);
  const FlashOptions flashOptions = readFlashOptions(registry_);
  return messaging::okReply(request.id, Json{{"movieUrl", movieUrl},
                                             {"movieName", movieFileName(movieUrl)},
                                             {"ownFolder", isInFlashFolder(movieUrl, flashFolder(registry_))},
                                             {"showToolbar", flashOptions.showToolbar},
                                             {"showMenu", flashOptions.showMenu}});
}

std::string FlashRequests::options(const messaging::FlashRequest& request) {
  const FlashOptions flashOptions = readFlashOptions(registry_);
  return messaging::okReply(request.id, Json{{"showToolbar", flashOptions.showToolbar},
                                             {"showMenu", flashOptions.showMenu},
                                             {"flashFolder", flashOptions.saveFolder}});
}

std::string FlashRequests::save(const messaging::FlashRequest& request) {
  const com::ComPtr<ISearcher> searcher =
      nativehost::createRegisteredObject<ISearcher>(registry_, kSearcherProgId, CLSID_Searcher, kWhere);
  if (!searcher) return messaging::errorReply(request.id, kSetupIncorrect);
  const bool oneMovie = request.kind == FlashRequestKind::SaveMovie;
  com::ComPtr<com::IHTMLWindow2> window;
  messaging::SaveOutcome outcome;
  if (com::FAILED(com::createWindowFromMessages(oneMovie ? moviePage(request) : request.snapshot,
                                                oneMovie ? std::vector<std::string>() : request.frames,
                                                window.put()))) {
    outcome.result = static_cast<std::uint32_t>(com::E_FAIL);
    outcome.message = messaging::kUnreadableSnapshot;
    return messaging::saveReply(request.id, outcome);
  }
  const com::HRESULT result = searcher->SaveFlash(window.get());
  platform::trace(kWhere, "SaveFlash result " + messaging::resultText(static_cast<std::uint32_t>(result)));
  outcome.result = static_cast<std::uint32_t>(result);
  outcome.saved = result == com::S_OK;
  if (result == com::E_NOTIMPL) outcome.message = "Saving Flash movies is not available in this build.";
  return messaging::saveReply(request.id, outcome);
}

// The Flash bar's and the side panel's dialogs, shown by the host in front
// of the browser; the reply comes when the dialog is closed.
std::string FlashRequests::dialog(const messaging::FlashRequest& request) {
  bool accepted = true;
  switch (request.dialog) {
    case messaging::FlashDialog::Options: {
      ui::OptionsDialog options(registry_);
      accepted = uikit::execInFront(options) == QDialog::Accepted;
      break;
    }
    case messaging::FlashDialog::About: {
      ui::AboutDialog about;
      uikit::execInFront(about);
      break;
    }
    case messaging::FlashDialog::Help: ui::openHelp(nullptr, {}); break;
  }
  return messaging::okReply(request.id, Json{{"accepted", accepted}});
}

}  // namespace velkin::flash::host
