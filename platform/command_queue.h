// The posted-command queue of a build owner (the project tree, or the
// command line): any thread posts a command code with its text; each post
// becomes one task on the owner's thread that takes the oldest text out of
// the queue and hands code and text to the handler. Commands are thus
// handled one at a time, in posting order, always on the owner's thread.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace velkin::platform {

// Command codes carried by a posted command.
enum StdioCommand : int {
  kStdioStart = 1,  // text: the command line to start
  kStdioEnded = 2,  // text: empty, or input to write before closing
  kStdioInput = 3,  // text: what to write to the child's standard input
};

class CommandQueue {
 public:
  using Task = std::function<void()>;
  using Post = std::function<void(Task)>;
  using Handler = std::function<void(int code, const std::string& text)>;

  CommandQueue(Post post, Handler handler);
  // Thread-safe. The append and the post happen under one lock, so the
  // owner sees the texts in the order of the posts.
  void postCommand(int code, std::string text);

 private:
  void handleNext(int code);

  Post post_;
  Handler handler_;
  std::mutex mutex_;
  std::deque<std::string> texts_;
};

}  // namespace velkin::platform
