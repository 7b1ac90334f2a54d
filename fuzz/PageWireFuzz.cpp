// Any bytes a web process could send: as one frame's body, decoded or refused, and
// what decodes encodes back to a frame that decodes to the same bytes again; as
// the stream of a connection, read frame by frame until it ends or is refused.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "pagehost/wire/PageWire.h"

namespace {

using namespace wendrake::wire;

void DecodeAsBody(const std::uint8_t* data, std::size_t size) {
  Message message;
  if (!DecodeBody(data, size, message)) return;
  const std::string frame = EncodeFrame(message);
  Message again;
  if (!DecodeBody(frame.data() + 4, frame.size() - 4, again) || EncodeFrame(again) != frame) std::abort();
}

void ReadAsStream(const std::uint8_t* data, std::size_t size) {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) std::abort();
  // Inputs stay far below the socket's buffer, so the whole stream is sent at once.
  if (::send(fds[1], data, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size)) std::abort();
  ::close(fds[1]);
  FrameReader reader;
  Message message;
  while (reader.Next(fds[0], message, 1000) == ReadStatus::Ok) {
  }
  ::close(fds[0]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  DecodeAsBody(data, size);
  ReadAsStream(data, size);
  return 0;
}
