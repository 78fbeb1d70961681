// A native host as a browser runs it, for a conversation: a child process on
// pipes with the caller in its arguments; frames are sent one at a time and
// its messages (replies and events) read as they come.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace velkin::testing {

// body as one native messaging frame.
std::string framed(const std::string& body);

class HostProcess {
 public:
  HostProcess(const std::string& program, const std::vector<std::string>& arguments);
  ~HostProcess();  // closes the input, then waits for the host
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  void send(const std::string& body);
  // The next message; nullopt when the host's output ended, or nothing came
  // within a minute (a hung host fails the test instead of hanging it).
  std::optional<nlohmann::json> next();
  // send, then next.
  nlohmann::json ask(const std::string& body);
  // Closes the input and returns the exit status.
  int finish();

 private:
  bool readAll(char* data, size_t size);

  pid_t child_ = -1;
  int in_ = -1;
  int out_ = -1;
};

}  // namespace velkin::testing
