#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <list>
#include <utility>

#include "platform/PrivateFolder.h"

namespace wendrake {
namespace {

// One line each way: "bring-forward [<token>]\n", answered "done\n" or "ignored\n".
constexpr std::string_view kRequest = "bring-forward";
constexpr std::string_view kDone = "done\n";
constexpr std::string_view kIgnored = "ignored\n";
constexpr size_t kMaxRequest = 512;
constexpr size_t kMaxToken = 256;
constexpr int kAnswerMilliseconds = 5000;

bool ValidName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// Tokens travel inside one space-separated line.
bool ValidToken(const std::string& token) {
  if (token.size() > kMaxToken) return false;
  for (unsigned char c : token)
    if (c <= ' ' || c >= 0x7f) return false;
  return true;
}

// Another user's folder could hold a socket that answers for us, or a lock that
// keeps us from ever starting.
bool PrivateFolder(const std::filesystem::path& folder) {
  struct stat info {};
  return MakePrivateFolders(folder) && ::stat(folder.c_str(), &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool SocketAddress(const std::filesystem::path& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  const std::string& text = path.native();
  if (text.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, text.data(), text.size());
  return true;
}

bool PeerIsUs(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

struct SingleInstanceGuard::State {
  struct Connection {
    int fd = -1;
    GSource* source = nullptr;
    std::string received;
  };

  ~State() {
    while (!connections.empty()) Drop(connections.begin());
    if (listenSource) {
      g_source_destroy(listenSource);
      g_clear_pointer(&listenSource, g_source_unref);
    }
    if (listenFd >= 0) {
      ::close(listenFd);
      ::unlink(socketPath.c_str());
    }
    g_clear_pointer(&context, g_main_context_unref);
    // Last: the next instance may take over only once the socket is gone.
    CloseFd(lockFd);
  }

  void Drop(std::list<Connection>::iterator connection) {
    g_source_destroy(connection->source);
    g_clear_pointer(&connection->source, g_source_unref);
    ::close(connection->fd);
    connections.erase(connection);
  }

  static gboolean OnListenReady(gint, GIOCondition, gpointer data) {
    auto* state = static_cast<State*>(data);
    for (;;) {
      const int fd = ::accept4(state->listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        return G_SOURCE_CONTINUE;
      }
      if (!PeerIsUs(fd)) {
        ::close(fd);
        continue;
      }
      auto& connection = state->connections.emplace_back();
      connection.fd = fd;
      connection.source = g_unix_fd_source_new(fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
      auto* cookie = new std::pair<State*, std::list<Connection>::iterator>(state, std::prev(state->connections.end()));
      g_source_set_callback(connection.source, G_SOURCE_FUNC(OnRequestReady), cookie,
                            [](gpointer p) { delete static_cast<std::pair<State*, std::list<Connection>::iterator>*>(p); });
      g_source_attach(connection.source, state->context);
    }
  }

  static gboolean OnRequestReady(gint, GIOCondition, gpointer data) {
    auto [state, connection] = *static_cast<std::pair<State*, std::list<Connection>::iterator>*>(data);
    char buffer[kMaxRequest];
    const ssize_t got = ::recv(connection->fd, buffer, sizeof buffer, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return G_SOURCE_CONTINUE;
    if (got > 0) connection->received.append(buffer, static_cast<size_t>(got));
    const size_t end = connection->received.find('\n');
    if (end == std::string::npos) {
      if (got > 0 && connection->received.size() < kMaxRequest) return G_SOURCE_CONTINUE;
      state->Drop(connection);  // closed, failed or overlong before a whole line
      return G_SOURCE_REMOVE;
    }
    const std::string line = connection->received.substr(0, end);
    std::string token;
    bool valid = line == kRequest;
    if (!valid && line.size() > kRequest.size() && line.starts_with(kRequest) && line[kRequest.size()] == ' ') {
      token = line.substr(kRequest.size() + 1);
      valid = ValidToken(token);
    }
    const bool honoured = valid && state->mainWindowExists && state->onBringForward;
    const std::string_view answer = honoured ? kDone : kIgnored;
    [[maybe_unused]] const ssize_t sent = ::send(connection->fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    state->Drop(connection);
    // Answered first, so the asker ends at once, and nothing of `state` is touched
    // after the handler: it may well end the guard.
    if (honoured) {
      const auto handler = state->onBringForward;
      handler(token);
    }
    return G_SOURCE_REMOVE;
  }

  int lockFd = -1;
  int listenFd = -1;
  std::filesystem::path socketPath;
  GMainContext* context = nullptr;
  GSource* listenSource = nullptr;
  std::list<Connection> connections;
  bool mainWindowExists = false;
  std::function<void(const std::string&)> onBringForward;
};

std::filesystem::path DefaultInstanceFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && std::filesystem::path(runtime).is_absolute()) {
    std::error_code error;
    if (std::filesystem::is_directory(runtime, error)) return runtime;
  }
  return std::filesystem::path("/tmp") / ("wendrake-" + std::to_string(::geteuid()));
}

std::optional<SingleInstanceGuard> SingleInstanceGuard::Acquire(const std::string& applicationName, const std::filesystem::path& folder) {
  if (!ValidName(applicationName) || !PrivateFolder(folder)) return std::nullopt;
  auto state = std::make_unique<State>();
  const std::filesystem::path lockPath = folder / (applicationName + ".lock");
  state->lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
  if (state->lockFd < 0) return std::nullopt;
  int locked;
  while ((locked = ::flock(state->lockFd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  if (locked != 0) return std::nullopt;

  // Holding the lock makes any socket left at the path a dead instance's.
  state->socketPath = folder / (applicationName + ".socket");
  sockaddr_un address;
  if (SocketAddress(state->socketPath, address)) {
    ::unlink(state->socketPath.c_str());
    state->listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (state->listenFd >= 0 &&
        (::bind(state->listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(state->listenFd, 16) != 0))
      CloseFd(state->listenFd);
  }
  if (state->listenFd >= 0) {
    state->context = g_main_context_ref_thread_default();
    state->listenSource = g_unix_fd_source_new(state->listenFd, G_IO_IN);
    g_source_set_callback(state->listenSource, G_SOURCE_FUNC(State::OnListenReady), state.get(), nullptr);
    g_source_attach(state->listenSource, state->context);
  }
  return SingleInstanceGuard(std::move(state));
}

SingleInstanceGuard::SingleInstanceGuard(std::unique_ptr<State> state) : state_(std::move(state)) {}
SingleInstanceGuard::SingleInstanceGuard(SingleInstanceGuard&&) noexcept = default;
SingleInstanceGuard& SingleInstanceGuard::operator=(SingleInstanceGuard&&) noexcept = default;
SingleInstanceGuard::~SingleInstanceGuard() = default;

void SingleInstanceGuard::OnBringForward(std::function<void(const std::string&)> handler) { state_->onBringForward = std::move(handler); }
void SingleInstanceGuard::SetMainWindowExists(bool exists) { state_->mainWindowExists = exists; }
bool SingleInstanceGuard::Listening() const { return state_->listenFd >= 0; }

bool AskRunningInstanceToComeForward(const std::string& applicationName, const std::filesystem::path& folder, const std::string& activationToken) {
  sockaddr_un address;
  if (!ValidName(applicationName) || !SocketAddress(folder / (applicationName + ".socket"), address)) return false;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  std::string request(kRequest);
  if (!activationToken.empty() && ValidToken(activationToken)) request += " " + activationToken;
  request += "\n";
  std::string answer;
  // A unix connect completes at once or fails; a full backlog fails too (EAGAIN).
  const int flags = ::fcntl(fd, F_GETFL);
  bool ok = flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 && PeerIsUs(fd) &&
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
  timespec start{};
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  while (ok && answer.find('\n') == std::string::npos && answer.size() < kMaxRequest) {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const long long waited = (now.tv_sec - start.tv_sec) * 1000LL + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (waited >= kAnswerMilliseconds) break;
    pollfd wait{fd, POLLIN, 0};
    const int ready = ::poll(&wait, 1, static_cast<int>(kAnswerMilliseconds - waited));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[64];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) break;
    answer.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return ok && answer == kDone;
}

}  // namespace wendrake
