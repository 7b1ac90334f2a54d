#include "app/desktop/ApplicationIcon.h"

#include <string>

namespace wendrake {

GList* ApplicationIcons() {
  GList* icons = nullptr;
  for (const char* size : {"16", "24", "32", "48"}) {
    const std::string path = std::string("/com/lumifold/wendrake/icons/") + size + ".png";
    if (GdkPixbuf* icon = gdk_pixbuf_new_from_resource(path.c_str(), nullptr)) icons = g_list_prepend(icons, icon);
  }
  return icons;
}

}  // namespace wendrake
