#include "pagehost/webkit/PlainMessageBox.h"

#include "core/Installation.h"
#include "core/Text.h"

namespace wendrake {

void GtkPlainMessageBox::Show(GtkWidget* owner, std::u16string_view text) {
  GtkWidget* top = owner ? gtk_widget_get_toplevel(owner) : nullptr;
  GtkWidget* box = gtk_message_dialog_new(GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                          GTK_BUTTONS_OK, "%s", ToUtf8(text).c_str());
  gtk_window_set_title(GTK_WINDOW(box), ApplicationName().c_str());
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
}

}  // namespace wendrake
