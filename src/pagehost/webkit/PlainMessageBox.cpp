#include "pagehost/webkit/PlainMessageBox.h"

#include <algorithm>

#include "core/Installation.h"
#include "core/Text.h"

namespace wendrake {

void GtkPlainMessageBox::Show(GtkWidget* owner, std::u16string_view text) {
  if (ending_) return;
  GtkWidget* top = owner ? gtk_widget_get_toplevel(owner) : nullptr;
  GtkWidget* box = gtk_message_dialog_new(GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s",
                                          ToUtf8(text).c_str());
  gtk_window_set_title(GTK_WINDOW(box), ApplicationName().c_str());
  open_.push_back(GTK_DIALOG(box));
  gtk_dialog_run(GTK_DIALOG(box));
  open_.erase(std::find(open_.begin(), open_.end(), GTK_DIALOG(box)));
  gtk_widget_destroy(box);
}

void GtkPlainMessageBox::EndAll() {
  ending_ = true;
  for (auto box = open_.rbegin(); box != open_.rend(); ++box) gtk_dialog_response(*box, GTK_RESPONSE_DELETE_EVENT);
}

}  // namespace wendrake
