// Fuzz target for the native hosts' input: any bytes are read as the stream
// of frames a browser sends, and every message is answered as both hosts'
// request readers answer it (the requests they hand on get a fixed reply). Nothing may crash, every read ends,
// and every reply must be JSON within the browsers' 1 MiB limit.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "messaging/flash_request.h"
#include "messaging/framing.h"
#include "messaging/reply.h"

namespace {

using namespace velkin::messaging;

void checkReply(const std::string& reply) {
  if (reply.size() > kMaxOutgoingBytes || !nlohmann::json::accept(reply)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  std::FILE* stream = std::tmpfile();
  if (stream == nullptr) return 0;
  if (size > 0 && std::fwrite(data, 1, size, stream) != size) std::abort();
  std::fflush(stream);
  std::rewind(stream);
  const int fd = fileno(stream);
  const RequestHandler save = [](const Request& request) {
    return saveReply(request.id, SaveOutcome{0, true, request.pictureAddress, request.snapshot});
  };
  const FlashRequestHandler flash = [](const FlashRequest& request) {
    std::string steps;
    for (const std::string& step : request.path) steps += step + "/";
    return saveReply(request.id, SaveOutcome{0, true, request.pageUrl + request.movie, steps + request.name});
  };
  for (size_t frames = 0;; ++frames) {
    const Frame frame = readFrame(fd);
    if (frame.status == FrameStatus::TooLarge) checkReply(tooLargeReply(frame.length));
    if (frame.status != FrameStatus::Message) break;
    if (frames > size) std::abort();  // every frame takes at least its length's bytes
    checkReply(answerMessage(frame.body, true, save));
    checkReply(answerMessage(frame.body, false, save));
    checkReply(answerFlashMessage(frame.body, true, flash));
    checkReply(answerFlashMessage(frame.body, false, flash));
  }
  std::fclose(stream);
  return 0;
}
