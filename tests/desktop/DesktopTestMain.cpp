// Desktop tests run real GTK windows and WebKit views. Without a display (as in CI)
// they start their own Xvfb for the run.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "support/PrivateXvfb.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (done at build time) needs no display.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  const pid_t xvfb = wendrake::testing::EnsureDisplay();
  if (xvfb < 0) {
    std::fprintf(stderr, "desktop tests need a display or Xvfb\n");
    return 1;
  }
  // A home of the run's own: what the tests lay out there (a game's Wine prefix)
  // stays theirs, and nothing reaches the developer's home.
  char home[] = "/tmp/wendrake-desktop-home-XXXXXX";
  if (!::mkdtemp(home)) return 1;
  ::setenv("HOME", home, 1);
  // The file chooser keeps its settings in memory, not in a session service.
  ::setenv("GSETTINGS_BACKEND", "memory", 1);
  gtk_init(&argc, &argv);
  const int result = RUN_ALL_TESTS();
  wendrake::testing::StopPrivateXvfb(xvfb);
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return result;
}
