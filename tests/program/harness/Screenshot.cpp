#include "harness/Screenshot.h"

#include <gdk/gdk.h>

#include <cstring>
#include <set>

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

int Colours(const std::string& look) {
  std::set<std::string> colours;
  for (size_t at = 0; at + 3 <= look.size(); at += 3) colours.insert(look.substr(at, 3));
  return static_cast<int>(colours.size());
}

}  // namespace

std::string LookAt(int x, int y, int width, int height) {
  GdkPixbuf* look = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, width, height);
  if (!look) return {};
  std::string pixels;
  const int channels = gdk_pixbuf_get_n_channels(look), stride = gdk_pixbuf_get_rowstride(look);
  const guint8* data = gdk_pixbuf_read_pixels(look);
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column) pixels.append(reinterpret_cast<const char*>(data + row * stride + column * channels), 3);
  g_object_unref(look);
  return pixels;
}

bool WaitUntilDrawn(int x, int y, int width, int height, const std::string& before, double seconds) {
  constexpr int kDrawnColours = 16;
  std::string last;
  return RunUntil(
      [&] {
        std::string look = LookAt(x, y, width, height);
        const bool settled = !look.empty() && look == last && look != before && Colours(look) >= kDrawnColours;
        last = std::move(look);
        if (!settled) RunUntil([] { return false; }, kLookInterval);
        return settled;
      },
      seconds);
}

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
