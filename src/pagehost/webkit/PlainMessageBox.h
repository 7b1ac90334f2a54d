#pragma once
// The plain modal message box: the application's name as caption, one OK button.
#include <gtk/gtk.h>

#include <string_view>
#include <vector>

namespace wendrake {

class IPlainMessageBox {
 public:
  virtual ~IPlainMessageBox() = default;
  // Returns once the user has closed the box, or at once while the program ends.
  virtual void Show(GtkWidget* owner, std::u16string_view text) = 0;
  // The program is ending: closes the open boxes, and shows no more.
  virtual void EndAll() = 0;
};

class GtkPlainMessageBox : public IPlainMessageBox {
 public:
  void Show(GtkWidget* owner, std::u16string_view text) override;
  void EndAll() override;

 private:
  // The boxes shown and not yet closed, outermost first.
  std::vector<GtkDialog*> open_;
  bool ending_ = false;
};

}  // namespace wendrake
