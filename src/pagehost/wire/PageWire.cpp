#include "pagehost/wire/PageWire.h"

#include <errno.h>
#include <glib.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "core/Text.h"

namespace wendrake::wire {
namespace {

enum Kind : guint8 { kHello = 1, kCall, kCallReply, kPageFunction, kPageFunctionReply, kLinkClicked, kChosenFiles, kKeyPressed };
enum ValueTag : guint8 { kUndefined = 0, kNull, kBool, kInt, kDouble, kText, kObject };
enum ResultTag : guint8 { kNothing = 0, kResultInt, kResultBool, kResultText, kResultList };

// Built child by child: GVariant's format-string parsing would cost more than
// the rest of a small message.
GVariant* Tuple(std::initializer_list<GVariant*> items) { return g_variant_new_tuple(items.begin(), items.size()); }
GVariant* Bytes(std::string_view utf8) { return g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, utf8.data(), utf8.size(), 1); }
GVariant* Text(std::u16string_view text) { return Bytes(ToUtf8(text)); }
GVariant* Tagged(guint8 tag, GVariant* value) { return Tuple({g_variant_new_byte(tag), g_variant_new_variant(value)}); }

GVariant* TextList(const std::vector<std::u16string>& texts) {
  std::vector<GVariant*> items;
  items.reserve(texts.size());
  for (const auto& text : texts) items.push_back(Text(text));
  return g_variant_new_array(G_VARIANT_TYPE_BYTESTRING, items.data(), items.size());
}

GVariant* ValueVariant(const PageValue& value) {
  return std::visit(
      [](const auto& v) -> GVariant* {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, Undefined>)
          return Tagged(kUndefined, g_variant_new_byte(0));
        else if constexpr (std::is_same_v<T, Null>)
          return Tagged(kNull, g_variant_new_byte(0));
        else if constexpr (std::is_same_v<T, bool>)
          return Tagged(kBool, g_variant_new_boolean(v));
        else if constexpr (std::is_same_v<T, std::int32_t>)
          return Tagged(kInt, g_variant_new_int32(v));
        else if constexpr (std::is_same_v<T, double>)
          return Tagged(kDouble, g_variant_new_double(v));
        else if constexpr (std::is_same_v<T, std::u16string>)
          return Tagged(kText, Text(v));
        else
          return Tagged(kObject, Text(v.text));
      },
      value);
}

GVariant* ResultVariant(const MethodResult& result) {
  return std::visit(
      [](const auto& v) -> GVariant* {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>)
          return Tagged(kNothing, g_variant_new_byte(0));
        else if constexpr (std::is_same_v<T, std::int32_t>)
          return Tagged(kResultInt, g_variant_new_int32(v));
        else if constexpr (std::is_same_v<T, bool>)
          return Tagged(kResultBool, g_variant_new_boolean(v));
        else if constexpr (std::is_same_v<T, std::u16string>)
          return Tagged(kResultText, Text(v));
        else
          return Tagged(kResultList, TextList(v));
      },
      result);
}

GVariant* Frame(guint8 kind, std::uint32_t id, GVariant* body) {
  return Tuple({g_variant_new_byte(kind), g_variant_new_uint32(id), g_variant_new_variant(body)});
}

GVariant* MessageVariant(const Message& message) {
  return std::visit(
      [](const auto& m) -> GVariant* {
        using T = std::decay_t<decltype(m)>;
        if constexpr (std::is_same_v<T, Hello>) {
          return Frame(kHello, 0, Tuple({Bytes(m.secret), g_variant_new_uint64(m.pageId)}));
        } else if constexpr (std::is_same_v<T, Call>) {
          std::vector<GVariant*> args;
          args.reserve(m.arguments.size());
          for (const auto& a : m.arguments) args.push_back(ValueVariant(a));
          return Frame(kCall, m.id, Tuple({g_variant_new_int32(m.memberId), g_variant_new_array(G_VARIANT_TYPE("(yv)"), args.data(), args.size())}));
        } else if constexpr (std::is_same_v<T, CallReply>) {
          return Frame(kCallReply, m.id, Tuple({g_variant_new_int32(m.code), ResultVariant(m.result)}));
        } else if constexpr (std::is_same_v<T, PageFunction>) {
          return Frame(kPageFunction, m.id, Tuple({Text(m.name), TextList(m.arguments)}));
        } else if constexpr (std::is_same_v<T, PageFunctionReply>) {
          return Frame(kPageFunctionReply, m.id, Tuple({g_variant_new_int32(m.code)}));
        } else if constexpr (std::is_same_v<T, LinkClicked>) {
          return Frame(kLinkClicked, m.id, Tuple({Text(m.address)}));
        } else if constexpr (std::is_same_v<T, ChosenFiles>) {
          return Frame(kChosenFiles, m.id, Tuple({TextList(m.paths)}));
        } else {
          return Frame(kKeyPressed, m.id, Tuple({Text(m.key)}));
        }
      },
      message);
}

// Accessors on untrusted data answer defaults for ill-formed parts, so checking
// the types is enough.
std::string Utf8Of(GVariant* bytes) {
  gsize size = 0;
  const void* data = g_variant_get_fixed_array(bytes, &size, 1);
  return std::string(static_cast<const char*>(data), size);
}
std::u16string TextOf(GVariant* bytes) { return ToUtf16(Utf8Of(bytes)); }

std::vector<std::u16string> TextsOf(GVariant* list) {
  std::vector<std::u16string> texts;
  const gsize n = g_variant_n_children(list);
  texts.reserve(n);
  for (gsize i = 0; i < n; ++i) {
    g_autoptr(GVariant) item = g_variant_get_child_value(list, i);
    texts.push_back(TextOf(item));
  }
  return texts;
}

bool Is(GVariant* value, const char* type) { return g_variant_is_of_type(value, G_VARIANT_TYPE(type)); }

// A (yv): its tag, and its boxed value.
bool DecodeValue(GVariant* tagged, PageValue& out) {
  guint8 tag = 0;
  g_autoptr(GVariant) value = nullptr;
  g_variant_get(tagged, "(yv)", &tag, &value);
  switch (tag) {
    case kUndefined: out = Undefined{}; return true;
    case kNull: out = Null{}; return true;
    case kBool:
      if (!Is(value, "b")) return false;
      out = static_cast<bool>(g_variant_get_boolean(value));
      return true;
    case kInt:
      if (!Is(value, "i")) return false;
      out = static_cast<std::int32_t>(g_variant_get_int32(value));
      return true;
    case kDouble:
      if (!Is(value, "d")) return false;
      out = g_variant_get_double(value);
      return true;
    case kText:
      if (!Is(value, "ay")) return false;
      out = TextOf(value);
      return true;
    case kObject:
      if (!Is(value, "ay")) return false;
      out = ObjectValue{TextOf(value)};
      return true;
    default: return false;
  }
}

bool DecodeResult(GVariant* tagged, MethodResult& out) {
  guint8 tag = 0;
  g_autoptr(GVariant) value = nullptr;
  g_variant_get(tagged, "(yv)", &tag, &value);
  switch (tag) {
    case kNothing: out = std::monostate{}; return true;
    case kResultInt:
      if (!Is(value, "i")) return false;
      out = static_cast<std::int32_t>(g_variant_get_int32(value));
      return true;
    case kResultBool:
      if (!Is(value, "b")) return false;
      out = static_cast<bool>(g_variant_get_boolean(value));
      return true;
    case kResultText:
      if (!Is(value, "ay")) return false;
      out = TextOf(value);
      return true;
    case kResultList:
      if (!Is(value, "aay")) return false;
      out = TextsOf(value);
      return true;
    default: return false;
  }
}

bool DecodeFrame(GVariant* frame, Message& out) {
  guint8 kind = 0;
  std::uint32_t id = 0;
  g_autoptr(GVariant) body = nullptr;
  g_variant_get(frame, "(yuv)", &kind, &id, &body);
  gint32 number = 0;
  g_autoptr(GVariant) first = nullptr;
  g_autoptr(GVariant) second = nullptr;
  switch (kind) {
    case kHello: {
      if (!Is(body, "(ayt)")) return false;
      guint64 pageId = 0;
      g_variant_get(body, "(@ayt)", &first, &pageId);
      out = Hello{Utf8Of(first), pageId};
      return true;
    }
    case kCall: {
      if (!Is(body, "(ia(yv))")) return false;
      g_variant_get(body, "(i@a(yv))", &number, &first);
      Call call{id, number, {}};
      const gsize n = g_variant_n_children(first);
      call.arguments.resize(n);
      for (gsize i = 0; i < n; ++i) {
        g_autoptr(GVariant) argument = g_variant_get_child_value(first, i);
        if (!DecodeValue(argument, call.arguments[i])) return false;
      }
      out = std::move(call);
      return true;
    }
    case kCallReply: {
      if (!Is(body, "(i(yv))")) return false;
      g_variant_get(body, "(i@(yv))", &number, &first);
      CallReply reply{id, number, {}};
      if (!DecodeResult(first, reply.result)) return false;
      out = std::move(reply);
      return true;
    }
    case kPageFunction:
      if (!Is(body, "(ayaay)")) return false;
      g_variant_get(body, "(@ay@aay)", &first, &second);
      out = PageFunction{id, TextOf(first), TextsOf(second)};
      return true;
    case kPageFunctionReply:
      if (!Is(body, "(i)")) return false;
      g_variant_get(body, "(i)", &number);
      out = PageFunctionReply{id, number};
      return true;
    case kLinkClicked:
      if (!Is(body, "(ay)")) return false;
      g_variant_get(body, "(@ay)", &first);
      out = LinkClicked{id, TextOf(first)};
      return true;
    case kChosenFiles:
      if (!Is(body, "(aay)")) return false;
      g_variant_get(body, "(@aay)", &first);
      out = ChosenFiles{id, TextsOf(first)};
      return true;
    case kKeyPressed:
      if (!Is(body, "(ay)")) return false;
      g_variant_get(body, "(@ay)", &first);
      out = KeyPressed{id, TextOf(first)};
      return true;
    default: return false;
  }
}

std::size_t BodySize(const char* prefix) {
  const auto* p = reinterpret_cast<const unsigned char*>(prefix);
  return p[0] | (p[1] << 8) | (p[2] << 16) | (std::size_t{p[3]} << 24);
}

// Waits until fd is readable or the deadline (monotonic µs; < 0: none) passes.
ReadStatus WaitReadable(int fd, gint64 deadline) {
  if (deadline < 0) return ReadStatus::Ok;
  for (;;) {
    const gint64 left = deadline - g_get_monotonic_time();
    if (left <= 0) return ReadStatus::TimedOut;
    pollfd p{fd, POLLIN, 0};
    const int n = ::poll(&p, 1, static_cast<int>((left + 999) / 1000));
    if (n > 0) return ReadStatus::Ok;
    if (n < 0 && errno != EINTR) return ReadStatus::Failed;
  }
}

// One recv of at most size bytes; 0 bytes read means the peer closed.
ReadStatus ReadSome(int fd, char* buffer, std::size_t size, gint64 deadline, std::size_t& got, int flags = 0) {
  for (;;) {
    if (!(flags & MSG_DONTWAIT))
      if (const ReadStatus s = WaitReadable(fd, deadline); s != ReadStatus::Ok) return s;
    const ssize_t n = ::recv(fd, buffer, size, flags);
    if (n > 0) {
      got = static_cast<std::size_t>(n);
      return ReadStatus::Ok;
    }
    if (n == 0) return ReadStatus::Closed;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      got = 0;
      return ReadStatus::Ok;
    }
    return errno == ECONNRESET ? ReadStatus::Closed : ReadStatus::Failed;
  }
}

ReadStatus ReadExactly(int fd, char* buffer, std::size_t size, gint64 deadline) {
  for (std::size_t done = 0; done < size;) {
    std::size_t got = 0;
    if (const ReadStatus s = ReadSome(fd, buffer + done, size - done, deadline, got); s != ReadStatus::Ok) return s;
    done += got;
  }
  return ReadStatus::Ok;
}

gint64 DeadlineOf(int timeoutMs) { return timeoutMs < 0 ? -1 : g_get_monotonic_time() + gint64{timeoutMs} * 1000; }

}  // namespace

std::string EncodeFrame(const Message& message) {
  g_autoptr(GVariant) frame = g_variant_ref_sink(MessageVariant(message));
  const gsize size = g_variant_get_size(frame);
  // g_variant_store needs a target aligned for the type; the frame's prefix of 4
  // bytes is not.
  thread_local std::vector<std::uint64_t> scratch;
  scratch.resize(size / 8 + 1);
  g_variant_store(frame, scratch.data());
  std::string bytes(4 + size, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((size >> (8 * i)) & 0xff);
  std::memcpy(bytes.data() + 4, scratch.data(), size);
  return bytes;
}

bool DecodeBody(const void* data, std::size_t size, Message& out) {
  // GVariant copies misaligned data itself; aligned data is read in place.
  g_autoptr(GVariant) frame = g_variant_ref_sink(g_variant_new_from_data(G_VARIANT_TYPE("(yuv)"), data, size, FALSE, nullptr, nullptr));
  return DecodeFrame(frame, out);
}

bool SocketAddress(const std::string& path, sockaddr_un& out) {
  out = sockaddr_un{};
  out.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof out.sun_path || path.find('\0') != std::string::npos) return false;
  std::memcpy(out.sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool Send(int fd, const Message& message) {
  const std::string frame = EncodeFrame(message);
  std::size_t done = 0;
  while (done < frame.size()) {
    const ssize_t n = ::send(fd, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
    if (n >= 0) {
      done += static_cast<std::size_t>(n);
    } else if (errno != EINTR) {
      return false;
    }
  }
  return true;
}

ReadStatus Receive(int fd, Message& out, int timeoutMs) {
  const gint64 deadline = DeadlineOf(timeoutMs);
  char prefix[4];
  if (const ReadStatus s = ReadExactly(fd, prefix, sizeof prefix, deadline); s != ReadStatus::Ok) return s;
  const std::size_t size = BodySize(prefix);
  if (size > kMaxFrameBody) return ReadStatus::Malformed;
  std::string body(size, '\0');
  if (const ReadStatus s = ReadExactly(fd, body.data(), size, deadline); s != ReadStatus::Ok) return s;
  return DecodeBody(body.data(), size, out) ? ReadStatus::Ok : ReadStatus::Malformed;
}

bool FrameReader::HasFrame() const {
  const std::size_t available = end_ - begin_;
  return available >= 4 && available - 4 >= BodySize(buffer_.data() + begin_);
}

bool FrameReader::TakeFrame(Message& out, ReadStatus& status) {
  const std::size_t available = end_ - begin_;
  if (available < 4) return false;
  const std::size_t size = BodySize(buffer_.data() + begin_);
  if (size > kMaxFrameBody) {
    status = ReadStatus::Malformed;
    return true;
  }
  if (available - 4 < size) return false;
  status = DecodeBody(buffer_.data() + begin_ + 4, size, out) ? ReadStatus::Ok : ReadStatus::Malformed;
  begin_ += 4 + size;
  if (begin_ == end_) begin_ = end_ = 0;
  return true;
}

ReadStatus FrameReader::Next(int fd, Message& out, int timeoutMs, SpinPolicy* spin) {
  const gint64 deadline = DeadlineOf(timeoutMs);
  constexpr std::size_t kChunk = 64 * 1024;
  ReadStatus status = ReadStatus::Ok;
  if (TakeFrame(out, status)) return status;
  const int budget = spin ? spin->Budget() : 0;
  const gint64 spinEnd = budget > 0 ? g_get_monotonic_time() + budget : 0;
  bool spinning = spinEnd != 0;
  for (;;) {
    // Room for at least the frame being read, or a chunk.
    std::size_t wanted = kChunk;
    if (end_ - begin_ >= 4) wanted = std::max(wanted, 4 + BodySize(buffer_.data() + begin_));
    if (begin_ > 0 && buffer_.size() - begin_ < wanted) {
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    if (buffer_.size() - begin_ < wanted) buffer_.resize(begin_ + wanted);
    if (spinning && g_get_monotonic_time() >= spinEnd) {
      spinning = false;
      spin->Record(false);
    }
    std::size_t got = 0;
    status = ReadSome(fd, buffer_.data() + end_, buffer_.size() - end_, deadline, got, spinning ? MSG_DONTWAIT : 0);
    end_ += got;
    if (status != ReadStatus::Ok) {
      if (spinning) spin->Record(false);
      return status;
    }
    if (TakeFrame(out, status)) {
      if (spinning) spin->Record(true);
      return status;
    }
  }
}

int SpinPolicy::Budget() {
  static const bool useful = g_get_num_processors() > 1;
  if (!useful) return 0;
  if (score_ > 0 || ++skipped_ % kProbeEvery == 0) return micros_;
  return 0;
}

void SpinPolicy::Record(bool caught) { score_ = caught ? std::min(score_ + 1, kMaxScore) : score_ / 2; }

}  // namespace wendrake::wire
