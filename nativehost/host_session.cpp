#include "nativehost/host_session.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "messaging/reply.h"

namespace velkin::nativehost {

HostSession::HostSession(int inFd, int outFd) : inFd_(inFd), outFd_(outFd) {}

HostSession::~HostSession() {
  // The reader ends at the end of the input or after a frame it stops at.
  if (reader_.joinable()) reader_.detach();
}

void HostSession::start(MessageHandler& handler) {
  handler_ = &handler;
  QMetaObject::invokeMethod(this, [this] { handler_->warmUp(); }, Qt::QueuedConnection);
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

bool HostSession::push(std::string_view message) {
  if (over_) return false;
  if (messaging::writeFrame(outFd_, message)) return true;
  end();
  return false;
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
    if (!answer(frame)) end();
  }
  busy_ = false;
}

void HostSession::end() {
  over_ = true;
  QCoreApplication::exit(0);
}

bool HostSession::answer(const messaging::Frame& frame) {
  switch (frame.status) {
    case messaging::FrameStatus::Message:
      return messaging::writeFrame(outFd_, handler_->answer(frame.body));
    case messaging::FrameStatus::TooLarge:
      messaging::writeFrame(outFd_, messaging::tooLargeReply(frame.length));
      return false;
    default:
      return false;
  }
}

}  // namespace velkin::nativehost
