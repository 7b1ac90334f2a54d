// A page's window.external round trip (a call that does no work, timed in the
// page) beside a plain Unix-socket request/reply between two processes, measured
// in the same run. Needs a display; starts its own Xvfb when none is set.
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "desktop/support/PageHarness.h"
#include "support/PrivateXvfb.h"

namespace {

constexpr int kCalls = 10000;
constexpr int kRounds = 5;

bool ReadAll(int fd, char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::read(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Microseconds per round trip of a small message to a child process and back.
double PlainRoundTrip() {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return -1;
  constexpr size_t kSize = 32;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pair[0]);
    char buffer[kSize];
    while (ReadAll(pair[1], buffer, kSize) && WriteAll(pair[1], buffer, kSize)) {
    }
    ::_exit(0);
  }
  ::close(pair[1]);
  char buffer[kSize] = "a small request of 32 bytes....";
  auto trip = [&] { return WriteAll(pair[0], buffer, kSize) && ReadAll(pair[0], buffer, kSize); };
  for (int i = 0; i < 1000; ++i) trip();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kCalls; ++i) trip();
  const std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
  ::close(pair[0]);
  ::waitpid(child, nullptr, 0);
  return elapsed.count() / kCalls;
}

class NullEndpoint : public wendrake::IPageEndpoint {
 public:
  wendrake::InvokeOutcome OnPageCall(std::int32_t, const std::vector<wendrake::PageValue>&) override { return {}; }
  void OnLinkClicked(const std::u16string&) override {}
  void OnKeyPressed(const std::u16string&) override {}
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const pid_t xvfb = wendrake::testing::EnsureDisplay();
  if (xvfb < 0) {
    std::fprintf(stderr, "page_call_bench needs a display or Xvfb\n");
    return 1;
  }
  gtk_init(&argc, &argv);

  std::vector<double> page, plain;
  {
    using namespace wendrake::pagetest;
    PageHarness harness;
    NullEndpoint endpoint;
    TestView view(harness, &endpoint);
    if (!view.Load("<!DOCTYPE html><html><body>bench</body></html>", harness.UiPage("bench.html"))) {
      std::fprintf(stderr, "the bench page did not load\n");
      return 1;
    }
    const std::string calls = std::to_string(kCalls);
    const std::string script =
        "(() => { const ext = window.external;"
        "  for (let i = 0; i < 1000; ++i) ext.CloseWindow();"
        "  const start = performance.now();"
        "  for (let i = 0; i < " +
        calls +
        "; ++i) ext.CloseWindow();"
        "  return String((performance.now() - start) * 1000 / " +
        calls + "); })()";
    for (int round = 0; round < kRounds; ++round) {
      const std::string result = view.Evaluate(script, 120);
      char* end = nullptr;
      const double perCall = std::strtod(result.c_str(), &end);
      if (end == result.c_str()) {
        std::fprintf(stderr, "page call failed: %s\n", result.c_str());
        return 1;
      }
      page.push_back(perCall);
      plain.push_back(PlainRoundTrip());
      std::printf("round %d: page call %.2f us, plain round trip %.2f us\n", round + 1, page.back(), plain.back());
    }
  }
  const double pageMedian = Median(page), plainMedian = Median(plain);
  std::printf("window.external call (median of %d x %d): %.2f us per call\n", kRounds, kCalls, pageMedian);
  std::printf("plain Unix-socket round trip (median of %d x %d): %.2f us per call\n", kRounds, kCalls, plainMedian);
  std::printf("ratio page/plain: %.2f (aim: <= 1.30)\n", pageMedian / plainMedian);

  wendrake::testing::StopPrivateXvfb(xvfb);
  return 0;
}
