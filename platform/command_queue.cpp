#include "platform/command_queue.h"

namespace velkin::platform {

CommandQueue::CommandQueue(Post post, Handler handler) : post_(std::move(post)), handler_(std::move(handler)) {}

void CommandQueue::postCommand(int code, std::string text) {
  const std::lock_guard<std::mutex> lock(mutex_);
  texts_.push_back(std::move(text));
  post_([this, code] { handleNext(code); });
}

void CommandQueue::handleNext(int code) {
  std::string text;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (texts_.empty()) return;
    text = std::move(texts_.front());
    texts_.pop_front();
  }
  handler_(code, text);
}

}  // namespace velkin::platform
