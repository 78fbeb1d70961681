#include "iecapture/host/capture_requests.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "iecapture/host/capture_object.h"
#include "platform/com/html_document.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/trace.h"

namespace {

// What the capture library told of the capture in progress.
struct CaptureOutcome {
  std::string pagePath;
  std::string message;
};
CaptureOutcome g_outcome;

}  // namespace

// The library's outcome hook (iecapture/ivelkin.h), exported from the
// program for the library's dlsym; called on the UI thread during a save.
extern "C" __attribute__((visibility("default"))) void velkinCaptureOutcome(const char* pagePath,
                                                                           const char* message) {
  if (pagePath != nullptr && *pagePath != '\0') g_outcome.pagePath = pagePath;
  if (message != nullptr && *message != '\0') g_outcome.message = message;
}

namespace velkin::iecapture::host {
namespace {

constexpr char kWhere[] = "marrowind-host";

com::HRESULT callMethod(IVelkin& velkin, com::IHTMLDocument2* document, const messaging::Request& request) {
  switch (request.kind) {
    case messaging::RequestKind::SaveSelection:
      return velkin.SaveSelDoc(document);
    case messaging::RequestKind::SavePicture:
      return velkin.SaveImg(document, request.pictureAddress);
    default:
      return velkin.SaveDoc(document);
  }
}

// What the first window of a process pays for, paid before it is needed:
// the fonts, the style and its standard icons (the image plugins with them).
void warmUpToolkit() {
  QDialog dialog;
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLineEdit(&dialog));
  layout->addWidget(new QTreeWidget(&dialog));
  layout->addWidget(new QPushButton(QStringLiteral("Save"), &dialog));
  dialog.ensurePolished();
  dialog.adjustSize();
  QStyle* style = QApplication::style();
  for (const QStyle::StandardPixmap icon : {QStyle::SP_DirClosedIcon, QStyle::SP_DirOpenIcon, QStyle::SP_FileIcon,
                                            QStyle::SP_DriveHDIcon}) {
    style->standardIcon(icon).pixmap(16, 16);
  }
}

}  // namespace

void CaptureRequests::warmUp() {
  if (captureObject_) return;
  platform::Registry registry(platform::configFolder());
  captureObject_ = createCaptureObject(registry);
  warmUpToolkit();
}

com::ComPtr<IVelkin> CaptureRequests::captureObject(platform::Registry& registry) {
  if (!captureObject_) captureObject_ = createCaptureObject(registry);
  return captureObject_;
}

std::string CaptureRequests::answer(std::string_view body) {
  return messaging::answerMessage(body, callerAllowed_, [this](const messaging::Request& request) {
    return request.kind == messaging::RequestKind::Options ? options(request) : save(request);
  });
}

// The extension's options page reads and sets QuickSave here, so that the
// browser and the command line share one setting.
std::string CaptureRequests::options(const messaging::Request& request) {
  platform::Registry registry(platform::configFolder());
  if (request.quickSave &&
      !registry.writeDword(platform::RegistryRoot::User, kMarrowindKey, kQuickSaveValue, *request.quickSave ? 1 : 0)) {
    return messaging::errorReply(request.id, "The setting QuickSave cannot be written.");
  }
  return messaging::optionsReply(request.id, quickSaveEnabled(registry));
}

std::string CaptureRequests::save(const messaging::Request& request) {
  platform::Registry registry(platform::configFolder());
  const com::ComPtr<IVelkin> velkin = captureObject(registry);
  if (!velkin) return messaging::errorReply(request.id, kSetupIncorrect);
  com::ComPtr<com::IHTMLDocument2> document;
  if (com::FAILED(com::createDocumentFromMessage(request.snapshot, document.put()))) {
    messaging::SaveOutcome unreadable;
    unreadable.result = static_cast<std::uint32_t>(com::E_FAIL);
    unreadable.message = messaging::kUnreadableSnapshot;
    return messaging::saveReply(request.id, unreadable);
  }
  g_outcome = {};
  const bool quickSave = quickSaveEnabled(registry);
  const com::HRESULT result = callMethod(*velkin.get(), document.get(), request);
  platform::trace(kWhere, "capture result " + messaging::resultText(static_cast<std::uint32_t>(result)));
  messaging::SaveOutcome outcome;
  outcome.result = static_cast<std::uint32_t>(result);
  outcome.pagePath = g_outcome.pagePath;
  outcome.message = g_outcome.message;
  outcome.saved = result == com::S_OK && !outcome.pagePath.empty();
  outcome.quickSave = quickSave;
  return messaging::saveReply(request.id, outcome);
}

}  // namespace velkin::iecapture::host
