// A native host's conversation with the browser: a reader thread takes the
// frames from standard input and hands them to the UI thread, which answers
// them in order, one at a time (an answer may run a dialog's event loop;
// frames that arrive meanwhile wait their turn). The host quits when the
// input ends, and after answering a frame above the size limit, since the
// stream is then out of step. Between answers the host may push messages of
// its own (events), each a whole frame.
#pragma once

#include <QObject>
#include <deque>
#include <string>
#include <string_view>
#include <thread>

#include "messaging/framing.h"

namespace velkin::nativehost {

// What a host answers; called on the UI thread only.
class MessageHandler {
 public:
  virtual ~MessageHandler() = default;
  // Once the event loop runs, before the first request is answered: what
  // the first request would otherwise wait for (loading a library).
  virtual void warmUp() {}
  // The reply to one message (at most messaging::kMaxOutgoingBytes).
  virtual std::string answer(std::string_view body) = 0;
};

class HostSession : public QObject {
  Q_OBJECT

 public:
  // Reads frames from inFd and writes replies and events to outFd.
  HostSession(int inFd, int outFd);
  ~HostSession() override;

  void start(MessageHandler& handler);
  // Writes an unsolicited message now; false when it could not be written.
  bool push(std::string_view message);

 private:
  void enqueue(messaging::Frame frame);
  void drain();
  // False when the conversation is over.
  bool answer(const messaging::Frame& frame);
  void end();

  int inFd_;
  int outFd_;
  MessageHandler* handler_ = nullptr;
  std::thread reader_;
  std::deque<messaging::Frame> pending_;
  bool busy_ = false;
  bool over_ = false;
};

}  // namespace velkin::nativehost
