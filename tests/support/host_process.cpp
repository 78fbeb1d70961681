#include "support/host_process.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace velkin::testing {

constexpr int kPatienceMs = 60'000;

std::string framed(const std::string& body) {
  const auto length = static_cast<std::uint32_t>(body.size());
  return std::string(reinterpret_cast<const char*>(&length), 4) + body;
}

HostProcess::HostProcess(const std::string& program, const std::vector<std::string>& arguments) {
  int in[2];
  int out[2];
  EXPECT_EQ(pipe(in), 0);
  EXPECT_EQ(pipe(out), 0);
  child_ = fork();
  if (child_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    for (const int fd : {in[0], in[1], out[0], out[1]}) close(fd);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  in_ = in[1];
  out_ = out[0];
}

HostProcess::~HostProcess() {
  finish();
  if (out_ >= 0) close(out_);
}

void HostProcess::send(const std::string& body) {
  const std::string frame = framed(body);
  for (size_t at = 0; at < frame.size();) {
    const ssize_t put = write(in_, frame.data() + at, frame.size() - at);
    ASSERT_GT(put, 0);
    at += static_cast<size_t>(put);
  }
}

bool HostProcess::readAll(char* data, size_t size) {
  for (size_t at = 0; at < size;) {
    pollfd ready{out_, POLLIN, 0};
    if (poll(&ready, 1, kPatienceMs) <= 0) {
      ADD_FAILURE() << "the host sent nothing for a minute";
      return false;
    }
    const ssize_t got = read(out_, data + at, size - at);
    if (got <= 0) return false;
    at += static_cast<size_t>(got);
  }
  return true;
}

std::optional<nlohmann::json> HostProcess::next() {
  std::uint32_t length = 0;
  if (!readAll(reinterpret_cast<char*>(&length), 4)) return std::nullopt;
  std::string body(length, '\0');
  if (!readAll(body.data(), length)) return std::nullopt;
  return nlohmann::json::parse(body);
}

nlohmann::json HostProcess::ask(const std::string& body) {
  send(body);
  return next().value_or(nlohmann::json());
}

int HostProcess::finish() {
  if (child_ < 0) return -1;
  if (in_ >= 0) close(in_);
  in_ = -1;
  int status = 0;
  waitpid(child_, &status, 0);
  child_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace velkin::testing
