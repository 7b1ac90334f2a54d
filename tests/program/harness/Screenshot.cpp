#include "harness/Screenshot.h"

#include <gdk/gdk.h>

#include <cstring>

#include "harness/Wait.h"

namespace wendrake::programtest {
namespace {

constexpr int kLooks = 30;
constexpr double kLookInterval = 0.1;

GdkPixbuf* Look() {
  GdkWindow* root = gdk_get_default_root_window();
  return gdk_pixbuf_get_from_window(root, 0, 0, gdk_window_get_width(root), gdk_window_get_height(root));
}

bool Same(GdkPixbuf* a, GdkPixbuf* b) {
  gsize aSize = 0, bSize = 0;
  const guint8* aPixels = gdk_pixbuf_read_pixels(a);
  const guint8* bPixels = gdk_pixbuf_read_pixels(b);
  aSize = gdk_pixbuf_get_byte_length(a);
  bSize = gdk_pixbuf_get_byte_length(b);
  return aSize == bSize && std::memcmp(aPixels, bPixels, aSize) == 0;
}

}  // namespace

bool SaveScreenshot(const std::filesystem::path& file) {
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  GdkPixbuf* shot = Look();
  for (int look = 0; shot && look < kLooks; ++look) {
    RunUntil([] { return false; }, kLookInterval);
    GdkPixbuf* next = Look();
    const bool settled = next && Same(shot, next);
    g_object_unref(shot);
    shot = next;
    if (settled) break;
  }
  if (!shot) return false;
  const bool saved = gdk_pixbuf_save(shot, file.c_str(), "png", nullptr, nullptr);
  g_object_unref(shot);
  return saved;
}

}  // namespace wendrake::programtest
