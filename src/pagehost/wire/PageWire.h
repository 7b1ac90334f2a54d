#pragma once
// The messages between a page's web process and the UI process, and their framing:
// a 4-byte little-endian length, then one serialized GVariant of type (yuv): kind,
// request id, body. Texts travel as UTF-8 byte arrays (embedded NULs survive; a lone
// surrogate from page script arrives as U+FFFD). Both sides use blocking sockets.
#include <sys/un.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "core/HResult.h"
#include "core/PageValue.h"

namespace wendrake::wire {

// Extension to UI, first message on a connection.
struct Hello {
  std::string secret;
  std::uint64_t pageId = 0;
  bool operator==(const Hello&) const = default;
};
// A window.external call.
struct Call {
  std::uint32_t id = 0;
  std::int32_t memberId = 0;
  std::vector<PageValue> arguments;
  bool operator==(const Call&) const = default;
};
struct CallReply {
  std::uint32_t id = 0;
  HRESULT code = S_OK;
  MethodResult result;
  bool operator==(const CallReply&) const = default;
};
// Native code calling a function of the page's main frame.
struct PageFunction {
  std::uint32_t id = 0;
  std::u16string name;
  std::vector<std::u16string> arguments;
  bool operator==(const PageFunction&) const = default;
};
struct PageFunctionReply {
  std::uint32_t id = 0;
  HRESULT code = S_OK;
  bool operator==(const PageFunctionReply&) const = default;
};
// A click whose link walk found an address holding "http". Answered with an empty
// CallReply: the click's default action (a new window, which reads the recorded
// link in the UI process) waits until the link is recorded.
struct LinkClicked {
  std::uint32_t id = 0;
  std::u16string address;
  bool operator==(const LinkClicked&) const = default;
};

// The native paths of the files the player chose in the desktop's file chooser
// for the page, sent before WebKit hands the page the files themselves. Answered
// with a PageFunctionReply.
struct ChosenFiles {
  std::uint32_t id = 0;
  std::vector<std::u16string> paths;
  bool operator==(const ChosenFiles&) const = default;
};

// Enter or Escape pressed in a frame of the page ("VK_RETURN", "VK_ESCAPE"), taken
// from the page before it acts on it. Answered with an empty CallReply once the
// program has run the page's KeyPressed: the keys after it wait until then.
struct KeyPressed {
  std::uint32_t id = 0;
  std::u16string key;
  bool operator==(const KeyPressed&) const = default;
};

using Message = std::variant<Hello, Call, CallReply, PageFunction, PageFunctionReply, LinkClicked, ChosenFiles, KeyPressed>;

// Frames larger than this are refused as malformed.
inline constexpr std::size_t kMaxFrameBody = 16u << 20;

// The whole frame, length prefix included.
std::string EncodeFrame(const Message& message);
// The body of one frame (without the prefix); false when it is no valid message.
bool DecodeBody(const void* data, std::size_t size, Message& out);

// The address of the Unix socket at `path`; false when the path does not fit in
// an address (107 bytes at most).
bool SocketAddress(const std::string& path, sockaddr_un& out);

enum class ReadStatus { Ok, Closed, Malformed, TimedOut, Failed };

// Writes the whole frame; false when the peer is gone.
bool Send(int fd, const Message& message);
// Reads exactly one frame and nothing beyond it. timeoutMs < 0 waits for ever;
// otherwise it bounds the wait for the whole frame.
ReadStatus Receive(int fd, Message& out, int timeoutMs = -1);

// Whether a wait for the peer should begin by spinning: a reply caught spinning
// saves a sleep and a wake-up on both sides, which on these machines is most of a
// round trip. Spinning pays only while the peer answers quickly and has a processor
// to answer on; on a loaded machine spins fail, and the policy stops spinning until
// an occasional probe catches a reply again.
class SpinPolicy {
 public:
  explicit SpinPolicy(int micros) : micros_(micros) {}
  // Microseconds to spin now; 0 for none.
  int Budget();
  void Record(bool caught);

 private:
  static constexpr int kMaxScore = 8;
  static constexpr unsigned kProbeEvery = 16;
  int micros_;
  int score_ = kMaxScore;
  unsigned skipped_ = 0;
};

// Reads the frames of one socket through a buffer, so that a frame usually costs a
// single recv. Frames read ahead stay buffered: a main-loop watch on the socket
// does not see them, so whoever returns to the loop must drain HasFrame() first.
class FrameReader {
 public:
  // With a spin policy, polls the socket without sleeping for a while first.
  ReadStatus Next(int fd, Message& out, int timeoutMs = -1, SpinPolicy* spin = nullptr);
  bool HasFrame() const;

 private:
  bool TakeFrame(Message& out, ReadStatus& status);
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // the first unread byte
  std::size_t end_ = 0;  // past the last byte read
};

}  // namespace wendrake::wire
