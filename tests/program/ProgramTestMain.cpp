// The installed program, run as a user runs it, on a display of the tests' own:
// never a developer's desktop, whose tray and windows must stay out of it.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>

#include "support/PrivateXvfb.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (done at build time) needs no display.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  ::unsetenv("WAYLAND_DISPLAY");
  const pid_t xvfb = wendrake::testing::StartPrivateXvfb();
  if (xvfb < 0) {
    std::fprintf(stderr, "program tests need Xvfb\n");
    return 1;
  }
  gdk_set_allowed_backends("x11");
  gtk_init(&argc, &argv);
  const int result = RUN_ALL_TESTS();
  wendrake::testing::StopPrivateXvfb(xvfb);
  return result;
}
