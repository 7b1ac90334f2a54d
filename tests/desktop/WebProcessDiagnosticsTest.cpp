// What goes wrong in a page's web process reaches the program's log, so the one
// file a player sends tells it.
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <string>

#include "pagehost/webkit/WebViewEnvironment.h"
#include "pagehost/wire/PageAccess.h"
#include "platform/AtomicFile.h"
#include "support/RunUntil.h"
#include "support/TempInstallation.h"

namespace wendrake {
namespace {

TEST(WebProcessDiagnostics, APageThatCannotReachTheProgramIsLogged) {
  testing::TempInstallation tree;
  const auto log = tree.Root() / "state/wendrake.log";
  WebViewEnvironment environment(tree.Install(), WENDRAKE_WEBEXT_DIR, log);
  // The channel's socket gone: the page's web process cannot connect.
  GVariant* data = g_variant_ref_sink(environment.Channel().ExtensionInitializationData());
  wire::ExtensionSettings settings;
  ASSERT_TRUE(wire::ReadSettings(data, settings));
  g_variant_unref(data);
  ASSERT_EQ(g_unlink(settings.socketPath.c_str()), 0);

  g_autoptr(WebKitWebView) view = WEBKIT_WEB_VIEW(g_object_ref_sink(webkit_web_view_new_with_context(environment.Context())));
  webkit_web_view_load_html(view, "<p>page</p>", "file:///page.html");
  std::string text;
  EXPECT_TRUE(testing::RunUntil([&] {
    text = ReadWholeFile(log).value_or("");
    return text.find("cannot reach the UI process") != std::string::npos;
  }));
  // One line of the web process, at the diagnostics' level, under our name.
  const size_t at = text.find("cannot reach the UI process");
  const std::string line = text.substr(text.rfind('\n', at) + 1, text.find('\n', at) - text.rfind('\n', at) - 1);
  EXPECT_NE(line.find("WebKitWebProcess["), std::string::npos) << line;
  EXPECT_NE(line.find(" fattor W wendrake: page "), std::string::npos) << line;
}

}  // namespace
}  // namespace wendrake
