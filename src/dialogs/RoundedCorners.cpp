#include "dialogs/RoundedCorners.h"

#include <algorithm>
#include <cmath>

namespace wendrake {

cairo_region_t* RoundedRectRegion(int width, int height, int ellipseWidth, int ellipseHeight) {
  cairo_region_t* region = cairo_region_create();
  const double a = std::max(0, ellipseWidth) / 2.0, b = std::max(0, ellipseHeight) / 2.0;
  for (int y = 0; y < height; ++y) {
    // How far this row's centre lies into the top or bottom band of the corners.
    const double centre = y + 0.5;
    const double intoBand = centre < b ? b - centre : (centre > height - b ? centre - (height - b) : 0.0);
    int inset = 0;
    if (intoBand > 0) {
      const double ratio = intoBand / b;
      inset = static_cast<int>(std::ceil(a - a * std::sqrt(std::max(0.0, 1.0 - ratio * ratio)) - 0.5));
    }
    if (width - 2 * inset <= 0) continue;
    const cairo_rectangle_int_t row{inset, y, width - 2 * inset, 1};
    cairo_region_union_rectangle(region, &row);
  }
  return region;
}

void ShapeRoundedCorners(GtkWidget* window, int width, int height, int ellipseWidth, int ellipseHeight) {
  cairo_region_t* shape = RoundedRectRegion(width, height, ellipseWidth, ellipseHeight);
  gtk_widget_shape_combine_region(window, shape);
  cairo_region_destroy(shape);
}

}  // namespace wendrake
