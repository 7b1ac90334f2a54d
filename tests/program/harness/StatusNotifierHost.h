#pragma once
// What a panel does with a registered StatusNotifierItem: reads its properties,
// lays out the menu it exports (com.canonical.dbusmenu) and clicks an entry. The
// item answers from its own loop, so each call runs this process's main loop
// until the answer comes.
#include <gio/gio.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harness/StatusNotifierWatcher.h"

namespace wendrake::programtest {

struct MenuEntry {
  gint32 id = 0;
  std::string label;  // as exported, mnemonic underscores and all; empty for a separator
};

class StatusNotifierHost {
 public:
  StatusNotifierHost(GDBusConnection* connection, RegisteredItem item);
  ~StatusNotifierHost();
  StatusNotifierHost(const StatusNotifierHost&) = delete;
  StatusNotifierHost& operator=(const StatusNotifierHost&) = delete;

  // A string or object-path property of org.kde.StatusNotifierItem.
  std::optional<std::string> Property(const std::string& name);
  // The entries a panel shows when the menu opens: the visible top-level ones, in order.
  std::optional<std::vector<MenuEntry>> Menu();
  // Sends the entry a click and goes on: an item may end before it answers.
  void Click(gint32 id);
  // A click on the icon itself.
  void Activate();
  // The labels the menu announced for an entry (ItemsPropertiesUpdated), oldest first.
  std::vector<std::string> AnnouncedLabels(gint32 id) const;

  // What went wrong in the calls so far, for failure messages.
  std::string Errors() const { return *errors_; }

 private:
  // The reply, or nullptr (with the error logged) when the call failed or went unanswered.
  GVariant* Call(const std::string& path, const char* interface, const char* method, GVariant* parameters, const GVariantType* replyType);
  std::optional<std::string> MenuPath();

  static void PropertiesUpdated(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters, gpointer host);

  GDBusConnection* connection_;
  RegisteredItem item_;
  guint subscription_ = 0;
  std::vector<std::pair<gint32, std::string>> announced_;
  // Shared with replies still on their way.
  std::shared_ptr<std::string> errors_ = std::make_shared<std::string>();
};

}  // namespace wendrake::programtest
