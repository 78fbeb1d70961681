// The fixture of the velkin capture tests: a knowledge base with a News
// category, pages served on 127.0.0.1, and velkin run on them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "capture/support/loopback_server.h"
#include "support/test_support.h"

namespace velkin::testing {

inline constexpr char kMainPage[] = R"(<!DOCTYPE html>
<html><head><title>Main Page</title>
<link rel="stylesheet" href="css/site.css">
</head>
<body background="img/bg.gif">
<p><img src="img/a.png" alt="A"> <img alt="B" src="/img/b.png"></p>
<object><param name="Src" value="media/movie.swf"></object>
<a href="files/report.zip">report</a> <a href="files/paper.pdf">paper</a> <a href="other.html">next</a>
</body></html>
)";

inline constexpr char kFramesPage[] =
    "<html><head><title> Left / Right\tframes </title></head>"
    "<frameset cols=\"50%,*\"><frame src=\"left.html\"><frame src=\"right.html\"></frameset></html>";

class CaptureCli : public IsolatedTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.start());
    const std::vector<std::pair<std::string, std::string>> files = {
        {"/site/css/site.css", "body { color: red }"}, {"/site/img/bg.gif", "GIF89a background"},
        {"/site/img/a.png", "png A"},                  {"/img/b.png", "png B"},
        {"/site/media/movie.swf", "FWS movie"},        {"/site/files/report.zip", "PK zip"},
        {"/site/files/paper.pdf", "%PDF paper"},       {"/site/left.html", "<p>left</p>"},
        {"/site/right.html", "<p>right</p>"}};
    for (const auto& [where, body] : files) server_.serve(where, body);
    server_.serve("/site/main.html", kMainPage, "text/html");
    server_.serve("/site/frames.html", kFramesPage, "text/html");
    makeDirs(news());
  }

  std::string book() const { return path("kb"); }
  std::string news() const { return book() + "/News"; }
  std::string url(const std::string& where) const { return server_.url(where); }

  ProgramRun velkin(std::vector<std::string> args) const {
    args.insert(args.begin(), {VELKIN_CLI_PATH, "--book", book(), "capture"});
    return runProgram(args);
  }
  // velkin with its standard input read from the file input.
  ProgramRun velkinReading(const std::string& input, std::vector<std::string> args) const {
    args.insert(args.begin(), {"/bin/sh", "-c", "in=$1; shift; exec \"$@\" < \"$in\"", "sh", input,
                               VELKIN_CLI_PATH, "--book", book(), "capture"});
    return runProgram(args);
  }

  static std::vector<std::string> filesIn(const std::string& folder) { return sortedNamesIn(folder); }

  DirectLoopback direct_;
  LoopbackServer server_;
};

}  // namespace velkin::testing
