#pragma once
// Rounded window corners as a window region: a rectangle whose four corners follow
// an ellipse of the given width and height, as round-rectangle regions always did.
#include <cairo.h>
#include <gtk/gtk.h>

namespace wendrake {

// The region (0, 0, width, height) with elliptical corners, row by row; the caller
// destroys it. A pixel belongs to it when its centre lies inside the corner ellipse.
cairo_region_t* RoundedRectRegion(int width, int height, int ellipseWidth, int ellipseHeight);

// Makes that region the shape of the window.
void ShapeRoundedCorners(GtkWidget* window, int width, int height, int ellipseWidth, int ellipseHeight);

}  // namespace wendrake
