// The browsers' native messaging frames: a 32-bit length in the machine's
// byte order, then that many bytes of UTF-8 JSON. Reads and writes go
// straight to file descriptors (a host's standard input and output) and
// carry on through short reads and writes and interrupted calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velkin::messaging {

// The largest message a browser sends to a host.
inline constexpr std::uint32_t kMaxIncomingBytes = 64u * 1024u * 1024u;
// The largest message a browser takes from a host (a larger one closes the port).
inline constexpr std::uint32_t kMaxOutgoingBytes = 1024u * 1024u;

enum class FrameStatus {
  Message,   // body holds the message (possibly empty)
  End,       // the input ended, also inside a length or a body: the host exits
  TooLarge,  // the length is above kMaxIncomingBytes; nothing after it is read
  Failed,    // the read failed (not an interruption)
};

struct Frame {
  FrameStatus status = FrameStatus::End;
  std::string body;
  std::uint32_t length = 0;  // the length as announced
};

// The next frame from fd. After TooLarge the stream cannot be trusted to
// be in step any more (the peer broke the protocol), so the caller answers
// once and stops reading.
Frame readFrame(int fd);

// Writes body as one frame; false when the write failed or body is larger
// than kMaxOutgoingBytes (nothing is written then).
bool writeFrame(int fd, std::string_view body);

}  // namespace velkin::messaging
