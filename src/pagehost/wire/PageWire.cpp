#include "pagehost/wire/PageWire.h"

#include <errno.h>
#include <glib.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "core/Text.h"

namespace wendrake::wire {
namespace {

enum Kind : guint8 { kHello = 1, kCall, kCallReply, kPageFunction, kPageFunctionReply, kLinkClicked };
enum ValueTag : guint8 { kUndefined = 0, kNull, kBool, kInt, kDouble, kText, kObject };
enum ResultTag : guint8 { kNothing = 0, kResultInt, kResultBool, kResultText, kResultList };

constexpr const char* kFrameType = "(yuv)";

GVariant* Bytes(std::string_view utf8) { return g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, utf8.data(), utf8.size(), 1); }
GVariant* Text(std::u16string_view text) { return Bytes(ToUtf8(text)); }

std::u16string TextOf(GVariant* bytes) {
  gsize size = 0;
  const void* data = g_variant_get_fixed_array(bytes, &size, 1);
  return ToUtf16(std::string_view(static_cast<const char*>(data), size));
}

GVariant* Tagged(guint8 tag, GVariant* value) { return g_variant_new("(yv)", tag, value); }

GVariant* ValueVariant(const PageValue& value) {
  return std::visit(
      [](const auto& v) -> GVariant* {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, Undefined>) return Tagged(kUndefined, g_variant_new_byte(0));
        else if constexpr (std::is_same_v<T, Null>) return Tagged(kNull, g_variant_new_byte(0));
        else if constexpr (std::is_same_v<T, bool>) return Tagged(kBool, g_variant_new_boolean(v));
        else if constexpr (std::is_same_v<T, std::int32_t>) return Tagged(kInt, g_variant_new_int32(v));
        else if constexpr (std::is_same_v<T, double>) return Tagged(kDouble, g_variant_new_double(v));
        else if constexpr (std::is_same_v<T, std::u16string>) return Tagged(kText, Text(v));
        else return Tagged(kObject, Text(v.text));
      },
      value);
}

GVariant* ResultVariant(const MethodResult& result) {
  return std::visit(
      [](const auto& v) -> GVariant* {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) return Tagged(kNothing, g_variant_new_byte(0));
        else if constexpr (std::is_same_v<T, std::int32_t>) return Tagged(kResultInt, g_variant_new_int32(v));
        else if constexpr (std::is_same_v<T, bool>) return Tagged(kResultBool, g_variant_new_boolean(v));
        else if constexpr (std::is_same_v<T, std::u16string>) return Tagged(kResultText, Text(v));
        else {
          GVariantBuilder list;
          g_variant_builder_init(&list, G_VARIANT_TYPE("aay"));
          for (const auto& item : v) g_variant_builder_add_value(&list, Text(item));
          return Tagged(kResultList, g_variant_builder_end(&list));
        }
      },
      result);
}

GVariant* TextList(const std::vector<std::u16string>& texts) {
  GVariantBuilder list;
  g_variant_builder_init(&list, G_VARIANT_TYPE("aay"));
  for (const auto& text : texts) g_variant_builder_add_value(&list, Text(text));
  return g_variant_builder_end(&list);
}

GVariant* MessageVariant(const Message& message) {
  return std::visit(
      [](const auto& m) -> GVariant* {
        using T = std::decay_t<decltype(m)>;
        if constexpr (std::is_same_v<T, Hello>) {
          return g_variant_new("(yuv)", kHello, 0u, g_variant_new("(@ayt)", Bytes(m.secret), static_cast<guint64>(m.pageId)));
        } else if constexpr (std::is_same_v<T, Call>) {
          GVariantBuilder args;
          g_variant_builder_init(&args, G_VARIANT_TYPE("a(yv)"));
          for (const auto& a : m.arguments) g_variant_builder_add_value(&args, ValueVariant(a));
          return g_variant_new("(yuv)", kCall, m.id, g_variant_new("(i@a(yv))", m.memberId, g_variant_builder_end(&args)));
        } else if constexpr (std::is_same_v<T, CallReply>) {
          return g_variant_new("(yuv)", kCallReply, m.id, g_variant_new("(i@(yv))", m.code, ResultVariant(m.result)));
        } else if constexpr (std::is_same_v<T, PageFunction>) {
          return g_variant_new("(yuv)", kPageFunction, m.id, g_variant_new("(@ay@aay)", Text(m.name), TextList(m.arguments)));
        } else if constexpr (std::is_same_v<T, PageFunctionReply>) {
          return g_variant_new("(yuv)", kPageFunctionReply, m.id, g_variant_new("(i)", m.code));
        } else {
          return g_variant_new("(yuv)", kLinkClicked, 0u, g_variant_new("(@ay)", Text(m.address)));
        }
      },
      message);
}

// GVariant getters on untrusted data answer defaults for ill-formed parts, so only
// the types need checking.
bool Is(GVariant* value, const char* type) { return g_variant_is_of_type(value, G_VARIANT_TYPE(type)); }

bool DecodeValue(GVariant* tagged, PageValue& out) {
  guint8 tag = 0;
  GVariant* value = nullptr;
  g_variant_get(tagged, "(yv)", &tag, &value);
  bool ok = true;
  switch (tag) {
    case kUndefined: out = Undefined{}; break;
    case kNull: out = Null{}; break;
    case kBool: ok = Is(value, "b") && (out = static_cast<bool>(g_variant_get_boolean(value)), true); break;
    case kInt: ok = Is(value, "i") && (out = static_cast<std::int32_t>(g_variant_get_int32(value)), true); break;
    case kDouble: ok = Is(value, "d") && (out = g_variant_get_double(value), true); break;
    case kText: ok = Is(value, "ay") && (out = TextOf(value), true); break;
    case kObject: ok = Is(value, "ay") && (out = ObjectValue{TextOf(value)}, true); break;
    default: ok = false;
  }
  g_variant_unref(value);
  return ok;
}

std::vector<std::u16string> TextsOf(GVariant* list) {
  std::vector<std::u16string> texts;
  const gsize n = g_variant_n_children(list);
  texts.reserve(n);
  for (gsize i = 0; i < n; ++i) {
    GVariant* item = g_variant_get_child_value(list, i);
    texts.push_back(TextOf(item));
    g_variant_unref(item);
  }
  return texts;
}

bool DecodeResult(GVariant* tagged, MethodResult& out) {
  guint8 tag = 0;
  GVariant* value = nullptr;
  g_variant_get(tagged, "(yv)", &tag, &value);
  bool ok = true;
  switch (tag) {
    case kNothing: out = std::monostate{}; break;
    case kResultInt: ok = Is(value, "i") && (out = static_cast<std::int32_t>(g_variant_get_int32(value)), true); break;
    case kResultBool: ok = Is(value, "b") && (out = static_cast<bool>(g_variant_get_boolean(value)), true); break;
    case kResultText: ok = Is(value, "ay") && (out = TextOf(value), true); break;
    case kResultList: ok = Is(value, "aay") && (out = TextsOf(value), true); break;
    default: ok = false;
  }
  g_variant_unref(value);
  return ok;
}

bool DecodeFrame(GVariant* frame, Message& out) {
  guint8 kind = 0;
  guint32 id = 0;
  GVariant* body = nullptr;
  g_variant_get(frame, "(yuv)", &kind, &id, &body);
  bool ok = false;
  switch (kind) {
    case kHello:
      if (Is(body, "(ayt)")) {
        GVariant* secret = g_variant_get_child_value(body, 0);
        gsize size = 0;
        const void* data = g_variant_get_fixed_array(secret, &size, 1);
        Hello hello{std::string(static_cast<const char*>(data), size), 0};
        g_variant_get_child(body, 1, "t", &hello.pageId);
        g_variant_unref(secret);
        out = std::move(hello);
        ok = true;
      }
      break;
    case kCall:
      if (Is(body, "(ia(yv))")) {
        Call call{id, 0, {}};
        GVariant* args = nullptr;
        g_variant_get(body, "(i@a(yv))", &call.memberId, &args);
        const gsize n = g_variant_n_children(args);
        call.arguments.resize(n);
        ok = true;
        for (gsize i = 0; ok && i < n; ++i) {
          GVariant* arg = g_variant_get_child_value(args, i);
          ok = DecodeValue(arg, call.arguments[i]);
          g_variant_unref(arg);
        }
        g_variant_unref(args);
        if (ok) out = std::move(call);
      }
      break;
    case kCallReply:
      if (Is(body, "(i(yv))")) {
        CallReply reply{id, S_OK, {}};
        GVariant* result = nullptr;
        g_variant_get(body, "(i@(yv))", &reply.code, &result);
        ok = DecodeResult(result, reply.result);
        g_variant_unref(result);
        if (ok) out = std::move(reply);
      }
      break;
    case kPageFunction:
      if (Is(body, "(ayaay)")) {
        GVariant* name = g_variant_get_child_value(body, 0);
        GVariant* args = g_variant_get_child_value(body, 1);
        out = PageFunction{id, TextOf(name), TextsOf(args)};
        g_variant_unref(name);
        g_variant_unref(args);
        ok = true;
      }
      break;
    case kPageFunctionReply:
      if (Is(body, "(i)")) {
        PageFunctionReply reply{id, S_OK};
        g_variant_get(body, "(i)", &reply.code);
        out = reply;
        ok = true;
      }
      break;
    case kLinkClicked:
      if (Is(body, "(ay)")) {
        GVariant* address = g_variant_get_child_value(body, 0);
        out = LinkClicked{TextOf(address)};
        g_variant_unref(address);
        ok = true;
      }
      break;
    default: break;
  }
  g_variant_unref(body);
  return ok;
}

// Waits until fd is readable; false on timeout or a failed poll.
bool WaitReadable(int fd, gint64 deadline, bool& timedOut) {
  timedOut = false;
  if (deadline < 0) return true;
  for (;;) {
    const gint64 left = deadline - g_get_monotonic_time();
    if (left <= 0) {
      timedOut = true;
      return false;
    }
    pollfd p{fd, POLLIN, 0};
    const int n = ::poll(&p, 1, static_cast<int>((left + 999) / 1000));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

ReadStatus ReadExactly(int fd, char* buffer, std::size_t size, gint64 deadline) {
  std::size_t done = 0;
  while (done < size) {
    bool timedOut = false;
    if (!WaitReadable(fd, deadline, timedOut)) return timedOut ? ReadStatus::TimedOut : ReadStatus::Failed;
    const ssize_t n = ::recv(fd, buffer + done, size - done, 0);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n == 0) {
      return ReadStatus::Closed;
    } else if (errno != EINTR && errno != EAGAIN) {
      return errno == ECONNRESET ? ReadStatus::Closed : ReadStatus::Failed;
    }
  }
  return ReadStatus::Ok;
}

}  // namespace

std::string EncodeFrame(const Message& message) {
  GVariant* frame = g_variant_ref_sink(MessageVariant(message));
  const gsize size = g_variant_get_size(frame);
  std::string bytes(4 + size, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((size >> (8 * i)) & 0xff);
  g_variant_store(frame, bytes.data() + 4);
  g_variant_unref(frame);
  return bytes;
}

bool DecodeBody(const void* data, std::size_t size, Message& out) {
  // The copy gives GVariant the alignment it needs.
  GBytes* bytes = g_bytes_new(data, size);
  GVariant* frame = g_variant_ref_sink(g_variant_new_from_bytes(G_VARIANT_TYPE(kFrameType), bytes, FALSE));
  g_bytes_unref(bytes);
  const bool ok = DecodeFrame(frame, out);
  g_variant_unref(frame);
  return ok;
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
  const gint64 deadline = timeoutMs < 0 ? -1 : g_get_monotonic_time() + gint64{timeoutMs} * 1000;
  unsigned char prefix[4];
  ReadStatus status = ReadExactly(fd, reinterpret_cast<char*>(prefix), sizeof prefix, deadline);
  if (status != ReadStatus::Ok) return status;
  const std::size_t size = prefix[0] | (prefix[1] << 8) | (prefix[2] << 16) | (std::size_t{prefix[3]} << 24);
  if (size > kMaxFrameBody) return ReadStatus::Malformed;
  std::string body(size, '\0');
  status = ReadExactly(fd, body.data(), size, deadline);
  if (status != ReadStatus::Ok) return status;
  return DecodeBody(body.data(), size, out) ? ReadStatus::Ok : ReadStatus::Malformed;
}

}  // namespace wendrake::wire
