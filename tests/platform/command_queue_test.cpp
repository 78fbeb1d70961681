#include "platform/command_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/task_loop.h"
#include "support/test_support.h"

namespace velkin::platform {
namespace {

using namespace std::chrono_literals;

struct Handled {
  int code;
  std::string text;
  std::thread::id thread;
};

// The owner: a task loop run by the test thread, and a queue posting into it.
class CommandQueueTest : public velkin::testing::IsolatedTest {
 protected:
  bool runUntilHandled(std::size_t count) {
    return loop_.runUntil([&] { return handled_.size() >= count; }, 20s);
  }

  TaskLoop loop_;
  std::function<void(int code)> afterHandling_ = [](int) {};
  std::vector<Handled> handled_;  // touched on the owner's thread only
  CommandQueue queue_{loop_.poster(), [this](int code, const std::string& text) {
                        handled_.push_back({code, text, std::this_thread::get_id()});
                        afterHandling_(code);
                      }};
};

TEST_F(CommandQueueTest, TwoQuickPostsFromAnotherThreadAreHandledInOrderOnTheOwnersThread) {
  std::thread poster([this] {
    queue_.postCommand(kStdioStart, "/books/Cat/ExportASCHM.bat");
    queue_.postCommand(kStdioInput, "y\n");
  });
  poster.join();
  ASSERT_TRUE(runUntilHandled(2));

  ASSERT_EQ(handled_.size(), 2U);
  EXPECT_EQ(handled_[0].code, kStdioStart);
  EXPECT_EQ(handled_[0].text, "/books/Cat/ExportASCHM.bat");
  EXPECT_EQ(handled_[1].code, kStdioInput);
  EXPECT_EQ(handled_[1].text, "y\n");
  for (const auto& command : handled_) EXPECT_EQ(command.thread, std::this_thread::get_id());
}

TEST_F(CommandQueueTest, PostsFromTwoThreadsKeepEachThreadsOrderAndTheirOwnTexts) {
  constexpr int kEach = 300;
  std::atomic<bool> go{false};
  auto postMany = [&](int code, char tag) {
    while (!go) std::this_thread::yield();
    for (int i = 0; i < kEach; ++i) queue_.postCommand(code, tag + std::to_string(i));
  };
  std::thread first(postMany, kStdioStart, 'A');
  std::thread second(postMany, kStdioInput, 'B');
  go = true;
  const bool all = runUntilHandled(2 * kEach);
  first.join();
  second.join();
  ASSERT_TRUE(all);

  int nextA = 0;
  int nextB = 0;
  for (const auto& command : handled_) {
    ASSERT_FALSE(command.text.empty());
    const bool fromA = command.text[0] == 'A';
    EXPECT_EQ(command.code, fromA ? kStdioStart : kStdioInput) << command.text;
    EXPECT_EQ(command.text.substr(1), std::to_string(fromA ? nextA++ : nextB++));
    EXPECT_EQ(command.thread, std::this_thread::get_id());
  }
  EXPECT_EQ(nextA, kEach);
  EXPECT_EQ(nextB, kEach);
}

TEST_F(CommandQueueTest, AHandlerMayPostTheNextCommand) {
  afterHandling_ = [this](int code) {
    if (code == kStdioEnded) queue_.postCommand(kStdioInput, "after the end");
  };
  queue_.postCommand(kStdioEnded, "");
  ASSERT_TRUE(runUntilHandled(2));
  EXPECT_EQ(handled_[0].code, kStdioEnded);
  EXPECT_EQ(handled_[0].text, "");
  EXPECT_EQ(handled_[1].code, kStdioInput);
  EXPECT_EQ(handled_[1].text, "after the end");
}

TEST(TaskLoopTest, RunUntilReturnsAtTheTimeoutWhenNothingComes) {
  TaskLoop loop;
  EXPECT_FALSE(loop.runUntil([] { return false; }, 30ms));
  EXPECT_TRUE(loop.runUntil([] { return true; }, 0ms));
}

}  // namespace
}  // namespace velkin::platform
