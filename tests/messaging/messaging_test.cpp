// The native messaging library: frames read from a real pipe whatever the
// writer's chunking, the request checks, the caller check and replies that
// always fit the browsers' limit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "messaging/caller.h"
#include "messaging/flash_request.h"
#include "messaging/framing.h"
#include "messaging/reply.h"
#include "messaging/request.h"

namespace velkin::messaging {
namespace {

using Json = nlohmann::json;

std::string header(std::uint32_t length) { return std::string(reinterpret_cast<const char*>(&length), 4); }
std::string framed(const std::string& body) { return header(static_cast<std::uint32_t>(body.size())) + body; }

// Every frame read from a pipe fed with input in chunks of chunk bytes by
// another thread, up to and including the first one that is not a message.
std::vector<Frame> readAll(const std::string& input, size_t chunk) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  std::thread writer([&] {
    for (size_t at = 0; at < input.size(); at += chunk) {
      const std::string piece = input.substr(at, chunk);
      EXPECT_EQ(write(fds[1], piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
    }
    close(fds[1]);
  });
  std::vector<Frame> frames;
  do {
    frames.push_back(readFrame(fds[0]));
  } while (frames.back().status == FrameStatus::Message);
  writer.join();
  close(fds[0]);
  return frames;
}

TEST(Framing, MessagesSurviveAnyChunkingAndEndsAndOversizeAreTold) {
  struct Case {
    const char* name;
    std::string input;
    std::vector<std::string> bodies;  // the messages before the last frame
    FrameStatus last;
  };
  const Case cases[] = {
      {"coalesced", framed("{\"a\":1}") + framed("[2]"), {"{\"a\":1}", "[2]"}, FrameStatus::End},
      {"zero length", framed("") + framed("x"), {"", "x"}, FrameStatus::End},
      {"non-ASCII", framed("\"Grüße ✓\""), {"\"Grüße ✓\""}, FrameStatus::End},
      {"end inside the length", framed("a") + std::string("\x05\x00", 2), {"a"}, FrameStatus::End},
      {"end inside the body", framed("a") + header(10) + "12345", {"a"}, FrameStatus::End},
      {"over the limit", framed("a") + header(kMaxIncomingBytes + 1) + framed("b"), {"a"}, FrameStatus::TooLarge},
  };
  for (const Case& each : cases) {
    for (const size_t chunk : {size_t{1}, size_t{3}, size_t{1} << 20}) {
      SCOPED_TRACE(std::string(each.name) + ", chunks of " + std::to_string(chunk));
      const std::vector<Frame> frames = readAll(each.input, chunk);
      ASSERT_EQ(frames.size(), each.bodies.size() + 1);
      for (size_t i = 0; i < each.bodies.size(); ++i) EXPECT_EQ(frames[i].body, each.bodies[i]);
      EXPECT_EQ(frames.back().status, each.last);
    }
  }
}

TEST(Framing, RepliesAreWrittenWholeAndNeverAboveTheLimit) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_FALSE(writeFrame(fds[1], std::string(kMaxOutgoingBytes + 1, 'x')));
  EXPECT_TRUE(writeFrame(fds[1], "{\"ok\":true}"));
  close(fds[1]);
  const Frame frame = readFrame(fds[0]);
  EXPECT_EQ(frame.body, "{\"ok\":true}");
  EXPECT_EQ(readFrame(fds[0]).status, FrameStatus::End);
  close(fds[0]);
}

TEST(Requests, EveryFieldIsCheckedAndTheIdEchoed) {
  struct Case {
    std::string body;
    bool accepted;
    const char* errorPart;  // accepted: ""
  };
  const std::string deep = std::string(40, '[') + std::string(40, ']');
  const Case cases[] = {
      {R"({"request":"ping"})", true, ""},
      {R"({"request":"save-page","snapshot":{"url":"u"},"extra":1})", true, ""},
      {R"({"request":"save-picture","snapshot":{},"pictureAddress":"http://a/p.png"})", true, ""},
      {R"({"request":"options"})", true, ""},
      {R"({"request":"options","quickSave":false})", true, ""},
      {R"({"request":"options","quickSave":1})", false, "\"quickSave\""},
      {"", false, "not valid JSON"},
      {"[1]", false, "not a JSON object"},
      {R"({"request":7})", false, "\"request\""},
      {R"({"request":"format-disk"})", false, "unknown request"},
      {R"({"request":"save-page"})", false, "\"snapshot\""},
      {R"({"request":"save-selection","snapshot":"<html>"})", false, "\"snapshot\""},
      {R"({"request":"save-picture","snapshot":{}})", false, "\"pictureAddress\""},
      {R"({"request":"save-picture","snapshot":{},"pictureAddress":""})", false, "empty"},
      {R"({"request":"ping","id":")" + std::string(kMaxIdBytes, 'i') + "\"}", false, "\"id\""},
      {R"({"request":"save-page","snapshot":{"all":)" + deep + "}}", false, "deep"},
      {"{\"request\":\"ping\",\"x\":\"\xff\"}", false, "not valid JSON"},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.body.substr(0, 80));
    const ParsedRequest parsed = parseRequest(each.body);
    EXPECT_EQ(parsed.request.has_value(), each.accepted) << parsed.error;
    EXPECT_NE(parsed.error.find(each.errorPart), std::string::npos) << parsed.error;
  }
  const ParsedRequest picture =
      parseRequest(R"({"request":"save-picture","id":{"n":[1]},"snapshot":{"url":"u"},"pictureAddress":"p"})");
  ASSERT_TRUE(picture.request);
  EXPECT_EQ(picture.request->kind, RequestKind::SavePicture);
  EXPECT_EQ(Json::parse(picture.request->snapshot), Json::parse(R"({"url":"u"})"));
  EXPECT_EQ(picture.request->pictureAddress, "p");
  EXPECT_EQ(picture.request->id, Json::parse(R"({"n":[1]})"));
  EXPECT_EQ(parseRequest(R"({"request":"nope","id":5})").id, 5);
}

TEST(FlashRequests, EveryFieldIsCheckedAndItemsAreNamedByTheirSteps) {
  struct Case {
    std::string body;
    bool accepted;
    const char* errorPart;  // accepted: ""
  };
  std::string manySteps = "[";
  for (size_t i = 0; i <= kMaxPathSteps; ++i) manySteps += std::string(i == 0 ? "" : ",") + "\"s\"";
  manySteps += "]";
  const Case cases[] = {
      {R"({"request":"ping"})", true, ""},
      {R"({"request":"probe","pageUrl":"","movie":"a.swf"})", true, ""},
      {R"({"request":"options","showMenu":3})", true, ""},
      {R"({"request":"folder-tree","operation":"list"})", true, ""},
      {R"({"request":"folder-tree","operation":"refresh","path":7})", true, ""},
      {R"({"request":"folder-tree","operation":"expand","path":[]})", true, ""},
      {R"({"request":"folder-tree","operation":"rename","path":["a.swf"],"name":""})", true, ""},
      {R"({"request":"open-movie","path":["Sub","a.swf"]})", true, ""},
      {R"({"request":"save-movie","pageUrl":"http://h/","movie":"a.swf"})", true, ""},
      {R"({"request":"save-page","snapshot":{"url":"u"}})", true, ""},
      {R"({"request":"probe","pageUrl":"p"})", false, "\"movie\" is missing"},
      {R"({"request":"probe","pageUrl":1,"movie":"m"})", false, "\"pageUrl\""},
      {R"({"request":"save-movie","pageUrl":"p","movie":""})", false, "empty"},
      {R"({"request":"folder-tree"})", false, "\"operation\""},
      {R"({"request":"folder-tree","operation":"chmod","path":[]})", false, "unknown folder operation"},
      {R"({"request":"folder-tree","operation":"delete"})", false, "\"path\""},
      {R"({"request":"folder-tree","operation":"delete","path":["a",""]})", false, "not a text"},
      {R"({"request":"folder-tree","operation":"delete","path":["a",{}]})", false, "not a text"},
      {R"({"request":"folder-tree","operation":"rename","path":["a"]})", false, "\"name\""},
      {R"({"request":"folder-tree","operation":"expand","path":)" + manySteps + "}", false, "steps"},
      {R"({"request":"open-movie","path":"a.swf"})", false, "not an array"},
      {R"({"request":"save-page","snapshot":"<html>"})", false, "\"snapshot\""},
      {R"({"request":"save-selection","snapshot":{}})", false, "unknown request"},
      {"[1]", false, "not a JSON object"},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.body.substr(0, 80));
    const ParsedFlashRequest parsed = parseFlashRequest(each.body);
    EXPECT_EQ(parsed.request.has_value(), each.accepted) << parsed.error;
    EXPECT_NE(parsed.error.find(each.errorPart), std::string::npos) << parsed.error;
  }
  const ParsedFlashRequest rename =
      parseFlashRequest(R"({"request":"folder-tree","id":3,"operation":"rename","path":["Sub","a.swf"],"name":"b"})");
  ASSERT_TRUE(rename.request);
  EXPECT_EQ(rename.request->operation, FolderOperation::Rename);
  EXPECT_EQ(rename.request->path, (std::vector<std::string>{"Sub", "a.swf"}));
  EXPECT_EQ(rename.request->name, "b");
  EXPECT_EQ(rename.request->id, 3);
  // The caller check comes before everything, ping is answered by itself.
  const FlashRequestHandler unexpected = [](const FlashRequest&) -> std::string { return "handled"; };
  EXPECT_EQ(Json::parse(answerFlashMessage(R"({"request":"ping"})", false, unexpected))["error"], kCallerNotAllowed);
  EXPECT_EQ(Json::parse(answerFlashMessage(R"({"request":"ping"})", true, unexpected))["ok"], true);
  EXPECT_EQ(answerFlashMessage(R"({"request":"options"})", true, unexpected), "handled");
}

TEST(Callers, OnlyTheExtensionInEitherBrowsersFormIsAllowed) {
  const platform::BrowserExtension& extension = platform::kMarrowindExtension;
  const std::string origin = std::string("chrome-extension://") + extension.chromiumId + "/";
  EXPECT_TRUE(callerAllowed({origin}, extension));
  EXPECT_TRUE(callerAllowed({origin, "--parent-window=0"}, extension));
  EXPECT_TRUE(callerAllowed({"/usr/lib/mozilla/native-messaging-hosts/x.json", extension.geckoId}, extension));
  EXPECT_FALSE(callerAllowed({}, extension));
  EXPECT_FALSE(callerAllowed({"chrome-extension://aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/"}, extension));
  EXPECT_FALSE(callerAllowed({origin.substr(0, origin.size() - 1)}, extension));
  EXPECT_FALSE(callerAllowed({"/x.json", "other@example"}, extension));
  EXPECT_FALSE(callerAllowed({extension.geckoId}, extension));
}

TEST(Replies, AnswersCarryTheIdAndLongTextsAreCutToFit) {
  const RequestHandler unexpected = [](const Request&) -> std::string {
    ADD_FAILURE() << "no save expected";
    return {};
  };
  EXPECT_EQ(Json::parse(answerMessage(R"({"request":"ping","id":"a"})", true, unexpected)),
            Json::parse(R"({"ok":true,"version":"2.5","id":"a"})"));
  EXPECT_EQ(Json::parse(answerMessage(R"({"request":"ping","id":3})", false, unexpected)),
            Json::parse(R"({"ok":false,"error":"caller not allowed","id":3})"));
  EXPECT_EQ(Json::parse(answerMessage("{", true, unexpected))["ok"], false);

  // Control characters take six bytes each once escaped; the multi-byte
  // character must not be split.
  const std::string longText = std::string(kMaxOutgoingBytes / 2, '\x01') + std::string(kMaxOutgoingBytes, 'a') + "é";
  for (const std::string& reply : {errorReply(9, longText), saveReply(9, SaveOutcome{0x80004005u, false, "/p", longText})}) {
    EXPECT_LE(reply.size(), kMaxOutgoingBytes);
    const Json json = Json::parse(reply);
    EXPECT_EQ(json["id"], 9);
    const std::string text = json.contains("error") ? json["error"].get<std::string>() : json["message"].get<std::string>();
    EXPECT_GT(text.size(), 1000u);
    EXPECT_EQ(text.substr(text.size() - 3), "...");
  }
  EXPECT_EQ(Json::parse(saveReply(nullptr, SaveOutcome{0, true, "/b/p.htm", ""})),
            Json::parse(R"({"ok":true,"result":"0x00000000","saved":true,"pagePath":"/b/p.htm"})"));
}

}  // namespace
}  // namespace velkin::messaging
