// Any frame body a web process could send: decoded or refused, never a crash, and
// what decodes is encoded back to a frame that decodes to the same bytes again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "pagehost/wire/PageWire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wendrake::wire;
  Message message;
  if (!DecodeBody(data, size, message)) return 0;
  const std::string frame = EncodeFrame(message);
  Message again;
  if (!DecodeBody(frame.data() + 4, frame.size() - 4, again) || EncodeFrame(again) != frame) std::abort();
  return 0;
}
