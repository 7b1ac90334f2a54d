// Desktop tests run real GTK windows and WebKit views. Without a display (as in CI)
// they start their own Xvfb for the run.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>

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
  gtk_init(&argc, &argv);
  const int result = RUN_ALL_TESTS();
  wendrake::testing::StopPrivateXvfb(xvfb);
  return result;
}
