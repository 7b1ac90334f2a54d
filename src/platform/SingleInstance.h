#pragma once
// One running instance per application name and user. The first instance holds an
// advisory lock on <folder>/<name>.lock, which the kernel drops when the process
// ends however it ends, and answers on the unix socket <folder>/<name>.socket; a
// later start asks it through that socket to bring its window forward and ends.
// Both descriptors are close-on-exec, so programs started from here never keep
// the lock; a fork without exec shares it until the child ends.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace wendrake {

// $XDG_RUNTIME_DIR when it is an absolute folder, else /tmp/wendrake-<uid>. Not
// $TMPDIR: every start of the user's must agree on the folder.
std::filesystem::path DefaultInstanceFolder();

class SingleInstanceGuard {
 public:
  // Gets the instance lock for `applicationName` (made private in `folder`, which
  // is created with mode 0700 when missing) and starts answering requests from the
  // thread-default GLib main context. nullopt when another process holds the lock,
  // or when there is nothing safe to lock in: a folder not owned by us, or writable
  // by others. Either way this process must not run as the instance.
  static std::optional<SingleInstanceGuard> Acquire(const std::string& applicationName,
                                                    const std::filesystem::path& folder = DefaultInstanceFolder());

  SingleInstanceGuard(SingleInstanceGuard&&) noexcept;
  SingleInstanceGuard& operator=(SingleInstanceGuard&&) noexcept;
  ~SingleInstanceGuard();

  // Called on the main loop for each bring-forward request honoured, with the
  // asker's activation token (startup-notification id; empty when it has none),
  // which lets the window manager accept the raise. Restore, raise, then raise the
  // last active pop-up: that is the handler's part.
  void OnBringForward(std::function<void(const std::string& activationToken)> handler);
  // Requests are honoured only while this is set: from the main window's creation
  // to its destruction. Before it, a second start ends without effect.
  void SetMainWindowExists(bool exists);

  // False when requests cannot be answered (the socket could not be made): the
  // instance still runs, later starts then end silently.
  bool Listening() const;

  struct State;  // opaque: named here only for the main-loop callbacks

 private:
  explicit SingleInstanceGuard(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// Asks the instance holding `applicationName` to bring its window forward. True
// when it did; false when there is none, it has no main window yet, or it gave no
// answer within a few seconds (a stopped process must not hold the asker forever).
bool AskRunningInstanceToComeForward(const std::string& applicationName, const std::filesystem::path& folder = DefaultInstanceFolder(),
                                     const std::string& activationToken = {});

}  // namespace wendrake
