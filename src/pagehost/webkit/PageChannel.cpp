#include "pagehost/webkit/PageChannel.h"

#include <errno.h>
#include <glib-unix.h>
#include <glib/gstdio.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <system_error>

#include "core/Text.h"
#include "pagehost/wire/PageAccess.h"
#include "pagehost/wire/PageWire.h"

namespace wendrake {
namespace {

// A peer that has connected but not yet finished its Hello must not stall the UI.
constexpr int kHelloTimeoutMs = 2000;
// Page script tends to call in bursts: after answering, the UI looks for the next
// call a little while before it goes back to sleep in the main loop, but returns to
// the loop after kBurstMaxMicros at the latest, so that a busy page never starves it.
constexpr int kBurstSpinMicros = 50;
constexpr gint64 kBurstMaxMicros = 2000;
// How long a native-to-page call may spin for its reply before it goes back to the
// main loop to wait.
constexpr int kReplySpinMicros = 100;
constexpr char kSocketName[] = "/pages";

struct Connection {
  int fd = -1;
  GSource* watch = nullptr;
  GSource* drain = nullptr;  // frames read ahead, waiting for the main loop
  wire::FrameReader reader;
  // Native-to-page calls waiting for their replies, by request id.
  std::map<std::uint32_t, std::optional<HRESULT>> waits;
  // Calls that failed before their page answered: a late reply is no fault.
  std::set<std::uint32_t> abandoned;
  std::uint64_t pageId = 0;
  bool greeted = false;
  bool closed = false;
};

std::string RandomSecret() {
  unsigned char bytes[32];
  std::size_t done = 0;
  while (done < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + done, sizeof bytes - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "getrandom");
    }
    done += static_cast<std::size_t>(n);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string secret;
  for (unsigned char b : bytes) {
    secret += kHex[b >> 4];
    secret += kHex[b & 15];
  }
  return secret;
}

bool SameSecret(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

// A folder only this user may enter, in the runtime folder or else the temporary
// one, whose socket path fits in a socket address; `address` is then that path's.
std::string MakeSocketFolder(sockaddr_un& address) {
  std::string refused;
  for (const std::string parent : {g_get_user_runtime_dir(), g_get_tmp_dir()}) {
    std::string folder = parent + "/wendrake-XXXXXX";
    if (!g_mkdtemp_full(folder.data(), 0700)) {
      refused += " " + parent + " (" + g_strerror(errno) + ")";
      continue;
    }
    if (wire::SocketAddress(folder + kSocketName, address)) return folder;
    g_rmdir(folder.c_str());
    refused += " " + parent + " (too long a path for a socket)";
  }
  throw std::runtime_error("no folder for the page channel's socket:" + refused);
}

}  // namespace

struct PageChannel::Impl {
  // What a connection's main-loop sources hold.
  using SourceData = std::pair<Impl*, std::weak_ptr<Connection>>;
  static void DeleteSourceData(gpointer data) { delete static_cast<SourceData*>(data); }

  PageAccessRule rule;
  std::string folder;
  std::string socketPath;
  std::string secret;
  GMainContext* context = nullptr;
  int listenFd = -1;
  GSource* listenWatch = nullptr;
  std::set<std::shared_ptr<Connection>> connections;
  std::map<std::uint64_t, std::shared_ptr<Connection>> pages;
  std::map<std::uint64_t, IPageEndpoint*> endpoints;
  std::uint32_t nextRequest = 1;
  std::chrono::milliseconds callDeadline{};
  bool ending = false;
  wire::SpinPolicy burstSpin{kBurstSpinMicros};
  wire::SpinPolicy replySpin{kReplySpinMicros};

  GSource* Watch(int fd, GUnixFDSourceFunc callback, gpointer data, GDestroyNotify destroy) {
    GSource* source = g_unix_fd_source_new(fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
    g_source_set_callback(source, reinterpret_cast<GSourceFunc>(reinterpret_cast<void (*)()>(callback)), data, destroy);
    // A handler run from this watch may wait for this same page in a nested loop.
    g_source_set_can_recurse(source, TRUE);
    g_source_attach(source, context);
    return source;
  }

  void Close(const std::shared_ptr<Connection>& connection) {
    if (connection->closed) return;
    connection->closed = true;
    // Destroying a source from inside its own dispatch is allowed; its data is
    // released after the dispatch returns.
    for (GSource** source : {&connection->watch, &connection->drain}) {
      if (*source) {
        g_source_destroy(*source);
        g_clear_pointer(source, g_source_unref);
      }
    }
    ::close(connection->fd);
    connection->fd = -1;
    if (connection->greeted) {
      auto page = pages.find(connection->pageId);
      if (page != pages.end() && page->second == connection) pages.erase(page);
    }
    connections.erase(connection);
  }

  void Accept() {
    for (;;) {
      const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        return;
      }
      ucred peer{};
      socklen_t size = sizeof peer;
      if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::geteuid()) {
        ::close(fd);
        continue;
      }
      auto connection = std::make_shared<Connection>();
      connection->fd = fd;
      connections.insert(connection);
      connection->watch = Watch(fd, &Impl::OnReadable, new SourceData(this, connection), DeleteSourceData);
    }
  }

  static gboolean OnListenReadable(gint, GIOCondition, gpointer data) {
    static_cast<Impl*>(data)->Accept();
    return G_SOURCE_CONTINUE;
  }

  static gboolean OnReadable(gint, GIOCondition, gpointer data) {
    auto* source = static_cast<SourceData*>(data);
    if (auto connection = source->second.lock()) {
      Impl& impl = *source->first;
      const gint64 burstEnd = g_get_monotonic_time() + kBurstMaxMicros;
      impl.ReadOne(connection);
      impl.ReadBuffered(connection);
      while (connection->greeted && g_get_monotonic_time() < burstEnd && impl.ReadOne(connection, &impl.burstSpin)) impl.ReadBuffered(connection);
      impl.DrainLater(connection);
    }
    return G_SOURCE_CONTINUE;
  }

  void ReadBuffered(const std::shared_ptr<Connection>& connection) {
    while (!connection->closed && connection->reader.HasFrame()) ReadOne(connection);
  }

  // Frames read ahead by a wait that has ended; the socket's watch cannot see them.
  void DrainLater(const std::shared_ptr<Connection>& connection) {
    if (connection->closed || connection->drain || !connection->reader.HasFrame()) return;
    connection->drain = g_idle_source_new();
    g_source_set_priority(connection->drain, G_PRIORITY_DEFAULT);
    g_source_set_can_recurse(connection->drain, TRUE);
    g_source_set_callback(
        connection->drain,
        [](gpointer data) -> gboolean {
          auto* source = static_cast<SourceData*>(data);
          if (auto connection = source->second.lock()) {
            g_clear_pointer(&connection->drain, g_source_unref);
            source->first->ReadBuffered(connection);
          }
          return G_SOURCE_REMOVE;
        },
        new SourceData(this, connection), DeleteSourceData);
    g_source_attach(connection->drain, context);
  }

  void Greet(const std::shared_ptr<Connection>& connection, const wire::Message& message) {
    const auto* hello = std::get_if<wire::Hello>(&message);
    if (!hello || !SameSecret(hello->secret, secret)) {
      Close(connection);
      return;
    }
    connection->greeted = true;
    connection->pageId = hello->pageId;
    // A page's new web process replaces the old one; the old connection lives on
    // until it closes, but no longer receives calls.
    pages[hello->pageId] = connection;
  }

  // Reads and handles one message. With a spin policy only one that comes while
  // it spins: false when none did.
  bool ReadOne(const std::shared_ptr<Connection>& connection, wire::SpinPolicy* spin = nullptr) {
    if (connection->closed) return false;
    wire::Message message;
    const int timeout = spin ? 0 : connection->greeted ? -1 : kHelloTimeoutMs;
    const auto status = connection->reader.Next(connection->fd, message, timeout, spin);
    if (status == wire::ReadStatus::TimedOut && spin) return false;
    if (status != wire::ReadStatus::Ok) {
      Close(connection);
      return false;
    } else if (!connection->greeted) {
      Greet(connection, message);
    } else if (!Serve(connection, message)) {
      g_warning("page %" G_GUINT64_FORMAT ": unexpected message", connection->pageId);
      Close(connection);
    }
    return !connection->closed;
  }

  // What the page may send at any time; false for anything else.
  bool Serve(const std::shared_ptr<Connection>& connection, wire::Message& message) {
    if (auto* reply = std::get_if<wire::PageFunctionReply>(&message)) {
      if (connection->abandoned.erase(reply->id)) return true;
      auto wait = connection->waits.find(reply->id);
      if (wait == connection->waits.end() || wait->second) return false;
      wait->second = reply->code;
      return true;
    }
    if (auto* call = std::get_if<wire::Call>(&message)) {
      wire::CallReply reply{call->id, S_OK, {}};
      auto endpoint = endpoints.find(connection->pageId);
      if (endpoint == endpoints.end() || !endpoint->second) {
        reply.code = E_FAIL;
      } else {
        try {
          InvokeOutcome outcome = endpoint->second->OnPageCall(call->memberId, call->arguments);
          reply.code = outcome.code;
          if (outcome.code == S_OK) reply.result = std::move(outcome.result);
        } catch (...) {
          // Nothing may unwind through GLib's frames.
          reply.code = DISP_E_EXCEPTION;
        }
      }
      if (!connection->closed && !wire::Send(connection->fd, reply)) Close(connection);
      return true;
    }
    if (auto* link = std::get_if<wire::LinkClicked>(&message)) {
      Notify(connection, link->id, [link](IPageEndpoint& endpoint) { endpoint.OnLinkClicked(link->address); });
      return true;
    }
    if (auto* key = std::get_if<wire::KeyPressed>(&message)) {
      Notify(connection, key->id, [key](IPageEndpoint& endpoint) { endpoint.OnKeyPressed(key->key); });
      return true;
    }
    return false;
  }

  // Tells the page's endpoint what happened in the page, then lets the page go on.
  template <typename Tell>
  void Notify(const std::shared_ptr<Connection>& connection, std::uint32_t id, Tell tell) {
    auto endpoint = endpoints.find(connection->pageId);
    if (endpoint != endpoints.end() && endpoint->second) {
      try {
        tell(*endpoint->second);
      } catch (...) {
        // Nothing may unwind through GLib's frames.
      }
    }
    if (!connection->closed && !wire::Send(connection->fd, wire::CallReply{id, S_OK, {}})) Close(connection);
  }

  // Sends a request the page answers with a PageFunctionReply, and waits for it
  // until the deadline, or until the program ends.
  template <typename Request>
  HRESULT Ask(std::uint64_t pageId, Request request) {
    auto page = pages.find(pageId);
    if (ending || page == pages.end()) return E_FAIL;
    const std::shared_ptr<Connection> connection = page->second;
    const std::uint32_t id = request.id = nextRequest++;
    std::optional<HRESULT>& outcome = connection->waits[id];
    if (!wire::Send(connection->fd, request)) Close(connection);
    const gint64 deadline = g_get_monotonic_time() + std::chrono::microseconds(callDeadline).count();
    // Wakes the main loop below when the time is up.
    g_autoptr(GSource) timer = g_timeout_source_new(static_cast<guint>(callDeadline.count()));
    g_source_set_callback(
        timer, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
    g_source_attach(timer, context);
    // A quick page answers at once; calls it makes meanwhile are served here.
    bool spinning = true;
    while (!outcome && !connection->closed && !ending && g_get_monotonic_time() < deadline) {
      if (spinning && ReadOne(connection, &replySpin)) continue;
      spinning = false;
      // Otherwise the main loop runs while the page works: its web process may
      // first need an answer from this process to WebKit's own messages (an input
      // event, an alert), which only the main loop gives. Replies may then come out
      // of order.
      if (connection->reader.HasFrame()) {
        ReadBuffered(connection);
      } else {
        g_main_context_iteration(context, TRUE);
      }
    }
    g_source_destroy(timer);
    const HRESULT code = outcome.value_or(E_FAIL);
    // `outcome` lives in the entry erased here.
    const bool answered = outcome.has_value();
    connection->waits.erase(id);
    if (!answered && !connection->closed) connection->abandoned.insert(id);
    DrainLater(connection);
    return code;
  }
};

PageChannel::PageChannel(PageAccessRule rule, std::chrono::milliseconds callDeadline) : impl_(std::make_unique<Impl>()) {
  impl_->rule = std::move(rule);
  impl_->callDeadline = callDeadline;
  impl_->secret = RandomSecret();
  sockaddr_un address;
  impl_->folder = MakeSocketFolder(address);
  impl_->socketPath = impl_->folder + kSocketName;
  impl_->context = g_main_context_ref_thread_default();

  impl_->listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (impl_->listenFd < 0 || ::bind(impl_->listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(impl_->listenFd, 64) != 0) {
    const int error = errno;
    if (impl_->listenFd >= 0) ::close(impl_->listenFd);
    g_unlink(impl_->socketPath.c_str());
    g_rmdir(impl_->folder.c_str());
    g_clear_pointer(&impl_->context, g_main_context_unref);
    throw std::system_error(error, std::generic_category(), "page channel socket");
  }
  impl_->listenWatch = impl_->Watch(impl_->listenFd, &Impl::OnListenReadable, impl_.get(), nullptr);
}

PageChannel::~PageChannel() {
  while (!impl_->connections.empty()) {
    const std::shared_ptr<Connection> connection = *impl_->connections.begin();
    impl_->Close(connection);
  }
  g_source_destroy(impl_->listenWatch);
  g_clear_pointer(&impl_->listenWatch, g_source_unref);
  ::close(impl_->listenFd);
  g_unlink(impl_->socketPath.c_str());
  g_rmdir(impl_->folder.c_str());
  g_clear_pointer(&impl_->context, g_main_context_unref);
}

GVariant* PageChannel::ExtensionInitializationData(const std::filesystem::path& diagnosticsLog) const {
  wire::ExtensionSettings settings{impl_->socketPath,      impl_->secret,          {}, {}, kProgramMemberBase, impl_->rule.uiFolderUri,
                                   impl_->rule.siteOrigin, diagnosticsLog.string()};
  for (const MethodEntry& entry : ScriptBridge::Table()) settings.methodNames.push_back(ToUtf8(entry.name));
  for (const MethodEntry& entry : ScriptBridge::ProgramTable()) settings.programMethodNames.push_back(ToUtf8(entry.name));
  return wire::SettingsVariant(settings);
}

void PageChannel::Attach(std::uint64_t pageId, IPageEndpoint* endpoint) { impl_->endpoints[pageId] = endpoint; }

void PageChannel::Detach(std::uint64_t pageId) { impl_->endpoints.erase(pageId); }

bool PageChannel::IsConnected(std::uint64_t pageId) const { return impl_->pages.contains(pageId); }

void PageChannel::EndWaits() {
  impl_->ending = true;
  g_main_context_wakeup(impl_->context);
}

HRESULT PageChannel::CallPageFunction(std::uint64_t pageId, const std::u16string& function, const std::vector<std::u16string>& arguments) {
  return impl_->Ask(pageId, wire::PageFunction{0, function, arguments});
}

HRESULT PageChannel::DeliverChosenFiles(std::uint64_t pageId, const std::vector<std::u16string>& paths) {
  return impl_->Ask(pageId, wire::ChosenFiles{0, paths});
}

}  // namespace wendrake
