// The round-rectangle region that rounds the corners of the program's windows.
#include <gtest/gtest.h>

#include "dialogs/RoundedCorners.h"

namespace wendrake {
namespace {

struct Pixel {
  int x, y;
  bool inside;
};

struct Shape {
  const char* name;
  int width, height, ellipseWidth, ellipseHeight;
  std::vector<Pixel> pixels;
};

TEST(RoundedCorners, CornerPixelsFollowTheEllipse) {
  const Shape shapes[] = {
      // The main window: an ellipse wider than high cuts four pixels off its first
      // row but only three rows off its first column.
      {"main window 924 x 704, 15 x 10",
       924,
       704,
       15,
       10,
       {{3, 0, false},
        {4, 0, true},
        {1, 1, false},
        {2, 1, true},
        {0, 2, false},
        {1, 2, true},
        {0, 3, true},
        {919, 703, true},
        {920, 703, false},
        {923, 701, false},
        {922, 701, true},
        {923, 700, true},
        {923, 0, false},
        {919, 0, true},
        {0, 703, false},
        {4, 703, true},
        {461, 0, true},
        {0, 352, true},
        {923, 352, true}}},
      {"page dialog 367 x 273, 5 x 5",
       367,
       273,
       5,
       5,
       {{0, 0, false},
        {1, 0, true},
        {0, 1, true},
        {366, 0, false},
        {365, 0, true},
        {366, 272, false},
        {366, 271, true},
        {0, 272, false},
        {366, 1, true},
        {367, 100, false},
        {100, 273, false}}},
      {"no ellipse: the plain rectangle", 50, 40, 0, 0, {{0, 0, true}, {49, 39, true}, {50, 0, false}, {0, 40, false}}},
  };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    cairo_region_t* region = RoundedRectRegion(shape.width, shape.height, shape.ellipseWidth, shape.ellipseHeight);
    for (const Pixel& pixel : shape.pixels)
      EXPECT_EQ(cairo_region_contains_point(region, pixel.x, pixel.y), pixel.inside) << "pixel " << pixel.x << ", " << pixel.y;
    cairo_region_destroy(region);
  }
}

}  // namespace
}  // namespace wendrake
