#pragma once
// The desktop session a test's program runs in: runtime, state, cache, data,
// config and home folders of that test only, private as a user's are, and the
// environment a program started there gets.
#include <filesystem>
#include <string>
#include <vector>

namespace wendrake::programtest {

class TestSession {
 public:
  // Makes the folders under `folder`.
  explicit TestSession(std::filesystem::path folder);

  const std::filesystem::path& Folder() const { return folder_; }
  std::filesystem::path DataHome() const { return folder_ / "data"; }
  std::filesystem::path StateHome() const { return folder_ / "state"; }
  // The test's own environment with the session's folders and display; a
  // session bus only when one is given.
  std::vector<std::string> Environment(const std::string& sessionBus = "") const;

 private:
  std::filesystem::path folder_;
};

}  // namespace wendrake::programtest
