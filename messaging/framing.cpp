#include "messaging/framing.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/trace.h"

namespace velkin::messaging {
namespace {

constexpr char kWhere[] = "messaging";

enum class ReadResult { Full, End, Failed };

// Reads exactly size bytes unless the input ends or fails first.
ReadResult readExactly(int fd, char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, data + done, size - done);
    if (got > 0) {
      done += static_cast<size_t>(got);
    } else if (got == 0) {
      return ReadResult::End;
    } else if (errno != EINTR) {
      platform::trace(kWhere, std::string("reading a message failed: ") + std::strerror(errno));
      return ReadResult::Failed;
    }
  }
  return ReadResult::Full;
}

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd, data, size);
    if (put >= 0) {
      data += put;
      size -= static_cast<size_t>(put);
    } else if (errno != EINTR) {
      platform::trace(kWhere, std::string("writing a message failed: ") + std::strerror(errno));
      return false;
    }
  }
  return true;
}

Frame failedOrEnded(ReadResult result) {
  Frame frame;
  frame.status = result == ReadResult::Failed ? FrameStatus::Failed : FrameStatus::End;
  return frame;
}

}  // namespace

Frame readFrame(int fd) {
  std::uint32_t length = 0;
  if (const ReadResult header = readExactly(fd, reinterpret_cast<char*>(&length), sizeof length);
      header != ReadResult::Full) {
    return failedOrEnded(header);
  }
  Frame frame;
  frame.length = length;
  if (length > kMaxIncomingBytes) {
    frame.status = FrameStatus::TooLarge;
    return frame;
  }
  frame.body.resize(length);
  if (const ReadResult body = readExactly(fd, frame.body.data(), length); body != ReadResult::Full) {
    return failedOrEnded(body);
  }
  frame.status = FrameStatus::Message;
  return frame;
}

bool writeFrame(int fd, std::string_view body) {
  if (body.size() > kMaxOutgoingBytes) {
    platform::trace(kWhere, "a reply of " + std::to_string(body.size()) + " bytes was not sent");
    return false;
  }
  const auto length = static_cast<std::uint32_t>(body.size());
  std::string frame(reinterpret_cast<const char*>(&length), sizeof length);
  frame.append(body);
  return writeAll(fd, frame.data(), frame.size());
}

}  // namespace velkin::messaging
