// LoopbackServer: a small HTTP or HTTPS server on 127.0.0.1 (a free port
// chosen by the system) for capture tests and benchmarks. It answers GET
// requests from a table of routes (body, content type, status, optional
// delay, redirect, or a body cut off mid-way by dropping the connection),
// then from an optional folder, else with 404. It counts requests (all and
// per path) and accepted connections, and keeps the headers of the last
// request of each path. Keep-alive and TCP_NODELAY are on. Routes may be
// changed while it runs. Header-only, for tests and benchmarks alike (no
// test framework needed); link the packaged cpp-httplib.
#pragma once

// The packaged cpp-httplib library is built with these; its header must be
// read with the same ones so that the classes match.
#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_OPENSSL_SUPPORT
#endif
#ifndef CPPHTTPLIB_ZLIB_SUPPORT
#define CPPHTTPLIB_ZLIB_SUPPORT
#endif
#ifndef CPPHTTPLIB_BROTLI_SUPPORT
#define CPPHTTPLIB_BROTLI_SUPPORT
#endif
#include <httplib.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace velkin::testing {

class LoopbackServer {
 public:
  using Milliseconds = std::chrono::milliseconds;
  static constexpr size_t kWholeBody = static_cast<size_t>(-1);

  struct Route {
    std::string body;
    std::string contentType = "application/octet-stream";
    int status = 200;
    Milliseconds delay{0};      // waited before the response is sent
    size_t sentBytes = kWholeBody;  // less: send this much of body, then drop the connection
    std::string location;       // a redirect target (with a 3xx status)
    bool endless = false;       // body sent over and over without end, no length announced
  };

  // A plain HTTP server.
  LoopbackServer() : server_(std::make_unique<httplib::Server>()), scheme_("http") { configure(); }

  // An HTTPS server with the certificate and its private key in PEM files.
  LoopbackServer(const std::string& certificateFile, const std::string& keyFile)
      : server_(std::make_unique<httplib::SSLServer>(certificateFile.c_str(), keyFile.c_str())), scheme_("https") {
    configure();
  }

  ~LoopbackServer() { stop(); }

  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Binds 127.0.0.1 on a free port and serves in a thread until stop().
  // False when the server cannot be set up (a bad certificate) or bound.
  bool start() {
    if (!server_->is_valid()) return false;
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) return false;
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() only takes effect once the server runs: wait for that.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!server_->is_running() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(Milliseconds(1));
    }
    return server_->is_running();
  }

  // Stops serving; idle kept-alive connections end within the keep-alive time.
  void stop() {
    if (!thread_.joinable()) return;
    server_->stop();
    thread_.join();
  }

  int port() const { return port_; }
  // The full address of path on this server, e.g. "http://127.0.0.1:4711/a.png".
  std::string url(const std::string& path) const {
    return scheme_ + "://127.0.0.1:" + std::to_string(port_) + path;
  }

  void setRoute(const std::string& path, Route route) {
    const std::lock_guard<std::mutex> guard(lock_);
    routes_[path] = std::move(route);
  }
  void serve(const std::string& path, std::string body, std::string contentType = "application/octet-stream",
             Milliseconds delay = Milliseconds(0)) {
    Route route;
    route.body = std::move(body);
    route.contentType = std::move(contentType);
    route.delay = delay;
    setRoute(path, std::move(route));
  }
  // Announces the whole body's length, sends sentBytes of it and drops the connection.
  void serveCutOff(const std::string& path, std::string body, size_t sentBytes) {
    Route route;
    route.body = std::move(body);
    route.sentBytes = sentBytes;
    setRoute(path, std::move(route));
  }
  // A body that never ends: chunks of body sent until the client gives up.
  void serveEndless(const std::string& path, std::string chunk) {
    Route route;
    route.body = std::move(chunk);
    route.endless = true;
    setRoute(path, std::move(route));
  }
  void serveStatus(const std::string& path, int status, std::string body = "error page") {
    Route route;
    route.status = status;
    route.body = std::move(body);
    route.contentType = "text/html";
    setRoute(path, std::move(route));
  }
  void redirect(const std::string& path, std::string location, int status = 302) {
    Route route;
    route.status = status;
    route.location = std::move(location);
    setRoute(path, std::move(route));
  }
  // Paths without a route are answered with the file of that name below folder.
  void serveFolder(std::string folder) {
    const std::lock_guard<std::mutex> guard(lock_);
    folder_ = std::move(folder);
  }
  // Called on the server's thread for every request, before any delay.
  void onRequest(std::function<void(const httplib::Request&)> hook) {
    const std::lock_guard<std::mutex> guard(lock_);
    hook_ = std::move(hook);
  }

  size_t connectionCount() const { return connections_->load(); }
  size_t requestCount() const { return requests_.load(); }
  size_t requestCount(const std::string& path) const {
    const std::lock_guard<std::mutex> guard(lock_);
    const auto found = requestsByPath_.find(path);
    return found == requestsByPath_.end() ? 0 : found->second;
  }
  // A header of the last request for path ("" when none came or it had none).
  std::string lastRequestHeader(const std::string& path, const std::string& name) const {
    const std::lock_guard<std::mutex> guard(lock_);
    const auto found = lastHeaders_.find(path);
    if (found == lastHeaders_.end()) return {};
    const auto header = found->second.find(name);
    return header == found->second.end() ? std::string() : header->second;
  }

 private:
  // The server's connection queue: the library's thread pool, counting each
  // accepted connection as it is handed over.
  class CountingQueue : public httplib::TaskQueue {
   public:
    explicit CountingQueue(std::shared_ptr<std::atomic<size_t>> count) : pool_(8), count_(std::move(count)) {}
    void enqueue(std::function<void()> task) override {
      ++*count_;
      pool_.enqueue(std::move(task));
    }
    void shutdown() override { pool_.shutdown(); }

   private:
    httplib::ThreadPool pool_;
    std::shared_ptr<std::atomic<size_t>> count_;
  };

  void configure() {
    server_->set_keep_alive_max_count(100000);
    server_->set_keep_alive_timeout(10);
    server_->set_tcp_nodelay(true);
    auto connections = connections_;
    server_->new_task_queue = [connections] { return new CountingQueue(connections); };
    server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
      answer(request, response);
    });
  }

  // The route for path, from the table or the folder; false when there is none.
  bool findRoute(const std::string& path, Route& route, std::function<void(const httplib::Request&)>& hook) {
    std::string folder;
    {
      const std::lock_guard<std::mutex> guard(lock_);
      hook = hook_;
      const auto found = routes_.find(path);
      if (found != routes_.end()) {
        route = found->second;
        return true;
      }
      folder = folder_;
    }
    if (folder.empty() || path.find("..") != std::string::npos) return false;
    std::ifstream file(folder + path, std::ios::binary);
    if (!file) return false;
    std::ostringstream body;
    body << file.rdbuf();
    route.body = body.str();
    return true;
  }

  void record(const httplib::Request& request) {
    ++requests_;
    const std::lock_guard<std::mutex> guard(lock_);
    ++requestsByPath_[request.path];
    lastHeaders_[request.path] = std::map<std::string, std::string>(request.headers.begin(), request.headers.end());
  }

  void answer(const httplib::Request& request, httplib::Response& response) {
    record(request);
    Route route;
    std::function<void(const httplib::Request&)> hook;
    const bool found = findRoute(request.path, route, hook);
    if (hook) hook(request);
    if (!found) {
      response.status = 404;
      response.set_content("not found", "text/plain");
      return;
    }
    if (route.delay.count() > 0) std::this_thread::sleep_for(route.delay);
    response.status = route.status;
    if (!route.location.empty()) response.set_header("Location", route.location);
    if (route.endless) {
      auto chunk = std::make_shared<std::string>(std::move(route.body));
      response.set_chunked_content_provider(route.contentType, [chunk](size_t, httplib::DataSink& sink) {
        return sink.write(chunk->data(), chunk->size());  // false when the client has gone
      });
      return;
    }
    if (route.sentBytes == kWholeBody) {
      response.set_content(route.body, route.contentType.c_str());
      return;
    }
    auto body = std::make_shared<std::string>(std::move(route.body));
    const size_t sent = std::min(route.sentBytes, body->size());
    response.set_content_provider(body->size(), route.contentType.c_str(),
                                  [body, sent](size_t offset, size_t, httplib::DataSink& sink) {
                                    if (offset < sent) sink.write(body->data() + offset, sent - offset);
                                    return sent == body->size();  // false drops the connection
                                  });
  }

  std::unique_ptr<httplib::Server> server_;
  std::string scheme_;
  int port_ = -1;
  std::thread thread_;
  mutable std::mutex lock_;
  std::map<std::string, Route> routes_;
  std::string folder_;
  std::function<void(const httplib::Request&)> hook_;
  std::map<std::string, size_t> requestsByPath_;
  std::map<std::string, std::map<std::string, std::string>> lastHeaders_;
  std::atomic<size_t> requests_{0};
  std::shared_ptr<std::atomic<size_t>> connections_ = std::make_shared<std::atomic<size_t>>(0);
};

// Sets an environment variable for the lifetime of this object (unsets it
// for a null value) and puts the old value back afterwards.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const char* value) : name_(std::move(name)) {
    const char* old = std::getenv(name_.c_str());
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    if (value != nullptr) {
      setenv(name_.c_str(), value, 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ~ScopedEnvironment() {
    if (hadOld_) {
      setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool hadOld_ = false;
};

// Keeps requests to the loopback server away from any proxy set in the
// environment (fetchers take their proxy from there).
struct DirectLoopback {
  ScopedEnvironment lower{"no_proxy", "127.0.0.1,localhost"};
  ScopedEnvironment upper{"NO_PROXY", "127.0.0.1,localhost"};
};

// The full path of a program found on PATH, or "".
inline std::string findProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// Runs a program with its output and errors discarded; its exit status, or
// -1 when it cannot be started or does not exit normally.
inline int runQuietly(const std::vector<std::string>& argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int status = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0 && waitpid(pid, &status, 0) == pid) {
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  } else {
    status = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return status;
}

// Makes a self-signed certificate for 127.0.0.1 (and localhost) with the
// openssl command line tool. False when the tool is missing or fails.
inline bool makeLoopbackCertificate(const std::string& certificateFile, const std::string& keyFile) {
  const std::string openssl = findProgram("openssl");
  if (openssl.empty()) return false;
  return runQuietly({openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", keyFile, "-out",
                     certificateFile, "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                     "subjectAltName=IP:127.0.0.1,DNS:localhost"}) == 0;
}

}  // namespace velkin::testing
