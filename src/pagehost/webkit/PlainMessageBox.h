#pragma once
// The plain modal message box: the application's name as caption, one OK button.
#include <gtk/gtk.h>

#include <string_view>

namespace wendrake {

class IPlainMessageBox {
 public:
  virtual ~IPlainMessageBox() = default;
  // Returns once the user has closed the box.
  virtual void Show(GtkWidget* owner, std::u16string_view text) = 0;
};

class GtkPlainMessageBox : public IPlainMessageBox {
 public:
  void Show(GtkWidget* owner, std::u16string_view text) override;
};

}  // namespace wendrake
