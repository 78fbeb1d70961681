#include "iecapture/host/host_session.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMetaObject>
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
constexpr char kUnreadableSnapshot[] = "The page's snapshot cannot be read.";

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

HostSession::HostSession(int inFd, int outFd, bool callerAllowed)
    : inFd_(inFd), outFd_(outFd), callerAllowed_(callerAllowed) {}

HostSession::~HostSession() {
  // The reader ends at the end of the input or after a frame it stops at.
  if (reader_.joinable()) reader_.detach();
}

void HostSession::warmUp() {
  if (captureObject_) return;
  platform::Registry registry(platform::configFolder());
  captureObject_ = createCaptureObject(registry);
  warmUpToolkit();
}

com::ComPtr<IVelkin> HostSession::captureObject(platform::Registry& registry) {
  if (!captureObject_) captureObject_ = createCaptureObject(registry);
  return captureObject_;
}

void HostSession::start() {
  // The library is loaded and the capture object made while the browser
  // gathers the page, before the first request comes.
  QMetaObject::invokeMethod(this, [this] { warmUp(); }, Qt::QueuedConnection);
  reader_ = std::thread([this] {
    for (;;) {
      messaging::Frame frame = messaging::readFrame(inFd_);
      const bool last = frame.status != messaging::FrameStatus::Message;
      QMetaObject::invokeMethod(
          this, [this, frame = std::move(frame)]() mutable { enqueue(std::move(frame)); }, Qt::QueuedConnection);
      if (last) return;
    }
  });
}

void HostSession::enqueue(messaging::Frame frame) {
  pending_.push_back(std::move(frame));
  if (!busy_) drain();
}

void HostSession::drain() {
  busy_ = true;
  while (!pending_.empty() && !over_) {
    const messaging::Frame frame = std::move(pending_.front());
    pending_.pop_front();
    if (!answer(frame)) {
      over_ = true;
      QCoreApplication::exit(0);
    }
  }
  busy_ = false;
}

bool HostSession::answer(const messaging::Frame& frame) {
  switch (frame.status) {
    case messaging::FrameStatus::Message:
      break;
    case messaging::FrameStatus::TooLarge:
      messaging::writeFrame(outFd_, messaging::tooLargeReply(frame.length));
      return false;
    default:
      return false;
  }
  const std::string reply =
      messaging::answerMessage(frame.body, callerAllowed_, [this](const messaging::Request& request) {
        return request.kind == messaging::RequestKind::Options ? options(request) : save(request);
      });
  return messaging::writeFrame(outFd_, reply);
}

// The extension's options page reads and sets QuickSave here, so that the
// browser and the command line share one setting.
std::string HostSession::options(const messaging::Request& request) {
  platform::Registry registry(platform::configFolder());
  if (request.quickSave &&
      !registry.writeDword(platform::RegistryRoot::User, kMarrowindKey, kQuickSaveValue, *request.quickSave ? 1 : 0)) {
    return messaging::errorReply(request.id, "The setting QuickSave cannot be written.");
  }
  return messaging::optionsReply(request.id, quickSaveEnabled(registry));
}

std::string HostSession::save(const messaging::Request& request) {
  platform::Registry registry(platform::configFolder());
  const com::ComPtr<IVelkin> velkin = captureObject(registry);
  if (!velkin) return messaging::errorReply(request.id, kSetupIncorrect);
  com::ComPtr<com::IHTMLDocument2> document;
  if (com::FAILED(com::createDocumentFromMessage(request.snapshot, document.put()))) {
    messaging::SaveOutcome unreadable;
    unreadable.result = static_cast<std::uint32_t>(com::E_FAIL);
    unreadable.message = kUnreadableSnapshot;
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
