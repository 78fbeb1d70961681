// A queue of tasks run on the thread that owns it: the stand-in for a posted
// window message when there is no toolkit event loop (command line, tests).
// Any thread may post; only the owner runs tasks, in posting order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace velkin::platform {

class TaskLoop {
 public:
  using Task = std::function<void()>;

  // Thread-safe: appends a task and wakes the owner.
  void post(Task task);
  // Owner only: a function that posts into this loop, for APIs taking one.
  std::function<void(Task)> poster();

  // Owner only: runs tasks as they come until done() holds (checked before
  // waiting and after each task) or the timeout passes. True if done().
  bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Owner only: runs the tasks already posted; returns how many ran.
  size_t runPending();
  // Waits until a task is posted or the timeout passes, without running it.
  bool waitForTask(std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<Task> tasks_;
};

}  // namespace velkin::platform
