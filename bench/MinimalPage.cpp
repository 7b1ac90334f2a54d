// The comparison for the start-up benchmark: the least a WebKitGTK program does
// to show one local page. Touches the file named second once the page has loaded.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  if (argc != 3) return 2;
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 367, 273);
  GtkWidget* view = webkit_web_view_new();
  gtk_container_add(GTK_CONTAINER(window), view);
  g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer marker) {
                     if (event != WEBKIT_LOAD_FINISHED) return;
                     if (FILE* file = std::fopen(static_cast<const char*>(marker), "w")) std::fclose(file);
                   }),
                   argv[2]);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gchar* uri = g_filename_to_uri(argv[1], nullptr, nullptr);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), uri);
  g_free(uri);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
