#include "platform/task_loop.h"

namespace velkin::platform {

void TaskLoop::post(Task task) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  posted_.notify_all();
}

std::function<void(TaskLoop::Task)> TaskLoop::poster() {
  return [this](Task task) { post(std::move(task)); };
}

size_t TaskLoop::runPending() {
  std::deque<Task> batch;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    batch.swap(tasks_);
  }
  for (auto& task : batch) task();
  return batch.size();
}

bool TaskLoop::waitForTask(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return posted_.wait_for(lock, timeout, [this] { return !tasks_.empty(); });
}

bool TaskLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    Task task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!posted_.wait_until(lock, deadline, [this] { return !tasks_.empty(); })) return done();
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
  return true;
}

}  // namespace velkin::platform
