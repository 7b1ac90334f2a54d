#pragma once
// The test's side of the test pages (TestPages.h): reads their event log from the
// hive's Data value and sends them scripts through its Version value, with the
// same hive functions the program uses, which lock and write atomically.
#include <optional>
#include <string>
#include <vector>

#include "core/Installation.h"

namespace wendrake::programtest {

class PageConversation {
 public:
  explicit PageConversation(Installation installation) : installation_(std::move(installation)) {}

  // Runs `script` in the loaded page named `page`.
  void Send(const std::string& page, const std::string& script);

  std::vector<std::string> Lines() const;
  int Count(const std::string& line) const;
  // The first logged line that begins with `prefix`, without the prefix.
  std::optional<std::string> After(const std::string& prefix) const;
  // Waits until `line` has been logged `times` times.
  bool WaitFor(const std::string& line, int times = 1, double seconds = 20) const;
  std::string Text() const;

 private:
  Installation installation_;
  int sent_ = 0;
};

}  // namespace wendrake::programtest
