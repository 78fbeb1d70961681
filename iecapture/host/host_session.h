// marrowind-host's conversation with the browser: a reader thread takes the
// frames from standard input and hands them to the UI thread, which answers
// them in order, one at a time (a save runs the capture dialog's event loop;
// frames that arrive meanwhile wait their turn). The host quits when the
// input ends, and after answering a frame above the size limit, since the
// stream is then out of step.
#pragma once

#include <QObject>
#include <deque>
#include <string>
#include <thread>

#include "iecapture/ivelkin.h"
#include "messaging/framing.h"
#include "messaging/reply.h"
#include "platform/com/object.h"
#include "platform/registry.h"

namespace velkin::iecapture::host {

class HostSession : public QObject {
  Q_OBJECT

 public:
  // Reads frames from inFd and writes replies to outFd.
  HostSession(int inFd, int outFd, bool callerAllowed);
  ~HostSession() override;

  void start();

 private:
  void enqueue(messaging::Frame frame);
  void drain();
  // False when the conversation is over.
  bool answer(const messaging::Frame& frame);
  std::string save(const messaging::Request& request);
  std::string options(const messaging::Request& request);
  // The capture object, made once for the session (it keeps nothing between
  // calls); warmUp makes it ahead of the first request.
  void warmUp();
  com::ComPtr<iecapture::IVelkin> captureObject(platform::Registry& registry);

  int inFd_;
  int outFd_;
  bool callerAllowed_;
  std::thread reader_;
  std::deque<messaging::Frame> pending_;
  bool busy_ = false;
  bool over_ = false;
  com::ComPtr<iecapture::IVelkin> captureObject_;
};

}  // namespace velkin::iecapture::host
