#pragma once
// Real WebKit views wired to a PageChannel the way the launcher wires them: a web
// context whose web processes load the extension with the channel's settings.
#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pagehost/webkit/PageChannel.h"
#include "support/RunUntil.h"

namespace wendrake::pagetest {

using testing::RunUntil;

// Records what a page sends and answers calls with a replaceable handler.
class RecordingEndpoint : public IPageEndpoint {
 public:
  struct Received {
    std::int32_t memberId;
    std::vector<PageValue> arguments;
  };
  std::vector<Received> calls;
  std::vector<std::u16string> links;
  std::vector<std::u16string> keys;
  std::function<InvokeOutcome(std::int32_t, const std::vector<PageValue>&)> onCall;

  InvokeOutcome OnPageCall(std::int32_t memberId, const std::vector<PageValue>& arguments) override {
    calls.push_back({memberId, arguments});
    return onCall ? onCall(memberId, arguments) : InvokeOutcome{};
  }
  void OnLinkClicked(const std::u16string& address) override { links.push_back(address); }
  void OnKeyPressed(const std::u16string& key) override { keys.push_back(key); }
};

// A folder with UI/ in it, a channel whose pages are that UI folder and the
// product's site, and a web context whose web processes load the extension.
class PageHarness {
 public:
  static constexpr const char* kSiteOrigin = "https://www.lumifold.com";
  static constexpr const char* kOtherScheme = "wendrake-other";

  explicit PageHarness(std::chrono::milliseconds callDeadline = kPageCallDeadline)
      : root_(MakeRoot()), channel_(PageAccessRule{FileUri(root_ + "/UI/"), kSiteOrigin}, callDeadline) {
    context_ = webkit_web_context_new();
    g_signal_connect(context_, "initialize-web-extensions", G_CALLBACK(+[](WebKitWebContext* context, gpointer data) {
                       webkit_web_context_set_web_extensions_directory(context, WENDRAKE_WEBEXT_DIR);
                       webkit_web_context_set_web_extensions_initialization_user_data(context,
                                                                                      static_cast<PageChannel*>(data)->ExtensionInitializationData());
                     }),
                     &channel_);
    // Pages of another site that need no network, for real navigations.
    webkit_web_context_register_uri_scheme(
        context_, kOtherScheme,
        +[](WebKitURISchemeRequest* request, gpointer) {
          static const char kHtml[] = "<!DOCTYPE html><html><body>another site</body></html>";
          GInputStream* stream = g_memory_input_stream_new_from_data(kHtml, sizeof kHtml - 1, nullptr);
          webkit_uri_scheme_request_finish(request, stream, sizeof kHtml - 1, "text/html");
          g_object_unref(stream);
        },
        nullptr, nullptr);
  }
  ~PageHarness() {
    g_object_unref(context_);
    for (const auto& path : written_) g_unlink(path.c_str());
    for (const char* folder : {"/UI/pages/sc", "/UI/pages", "/UI", ""}) g_rmdir((root_ + folder).c_str());
  }
  PageHarness(const PageHarness&) = delete;
  PageHarness& operator=(const PageHarness&) = delete;

  PageChannel& Channel() { return channel_; }
  WebKitWebContext* Context() { return context_; }
  // An address of a page in the UI folder (the file itself need not exist).
  std::string UiPage(const std::string& name) const { return FileUri(root_ + "/UI/pages/sc/" + name); }
  const std::string& Root() const { return root_; }
  // Writes a page into the UI folder and answers its address.
  std::string WriteUiPage(const std::string& name, const std::string& html) {
    const std::string folder = root_ + "/UI/pages/sc";
    g_mkdir_with_parents(folder.c_str(), 0700);
    const std::string path = folder + "/" + name;
    g_file_set_contents(path.c_str(), html.c_str(), static_cast<gssize>(html.size()), nullptr);
    written_.push_back(path);
    return FileUri(path);
  }

  static std::string FileUri(const std::string& path) {
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    std::string result = uri;
    g_free(uri);
    return result;
  }

 private:
  static std::string MakeRoot() {
    gchar* folder = g_dir_make_tmp("wendrake-pages-XXXXXX", nullptr);
    std::string root = folder ? folder : "/tmp";
    g_free(folder);
    return root;
  }

  std::string root_;
  std::vector<std::string> written_;
  PageChannel channel_;
  WebKitWebContext* context_ = nullptr;
};

// A view in its own shown window, attached to an endpoint.
class TestView {
 public:
  TestView(PageHarness& harness, IPageEndpoint* endpoint) : harness_(harness) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window_), 400, 300);
    view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(harness.Context()));
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
    pageId_ = webkit_web_view_get_page_id(view_);
    if (endpoint) harness.Channel().Attach(pageId_, endpoint);
    g_signal_connect(view_, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
                       if (event == WEBKIT_LOAD_FINISHED) ++static_cast<TestView*>(data)->loads_;
                     }),
                     this);
    gtk_widget_show_all(window_);
  }
  ~TestView() {
    harness_.Channel().Detach(pageId_);
    gtk_widget_destroy(window_);
  }
  TestView(const TestView&) = delete;
  TestView& operator=(const TestView&) = delete;

  std::uint64_t PageId() const { return pageId_; }
  WebKitWebView* View() const { return view_; }

  // Loads the page and waits until it has finished loading and its web process
  // has connected.
  bool Load(const std::string& html, const std::string& baseUri) {
    const int before = loads_;
    webkit_web_view_load_html(view_, html.c_str(), baseUri.c_str());
    return RunUntil([&] { return loads_ > before && harness_.Channel().IsConnected(pageId_); });
  }
  // A real navigation, which may move the page to another web process.
  bool Navigate(const std::string& address) {
    const int before = loads_;
    webkit_web_view_load_uri(view_, address.c_str());
    return RunUntil([&] { return loads_ > before && harness_.Channel().IsConnected(pageId_); });
  }

  // Runs script in the page through WebKit (not through the bridge) and answers
  // the text of its result, or "error: ..." when it threw.
  std::string Evaluate(const std::string& script, double seconds = 20) {
    struct Pending {
      bool done = false;
      std::string result;
    };
    // Shared with the callback, which may come after a timeout.
    auto pending = std::make_shared<Pending>();
    webkit_web_view_evaluate_javascript(
        view_, script.c_str(), -1, nullptr, nullptr, nullptr,
        +[](GObject* source, GAsyncResult* result, gpointer data) {
          std::unique_ptr<std::shared_ptr<Pending>> owner(static_cast<std::shared_ptr<Pending>*>(data));
          Pending& p = **owner;
          GError* error = nullptr;
          JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
          if (value) {
            gchar* text = jsc_value_to_string(value);
            p.result = text ? text : "";
            g_free(text);
            g_object_unref(value);
          } else {
            p.result = std::string("error: ") + (error ? error->message : "?");
            if (error) g_error_free(error);
          }
          p.done = true;
        },
        new std::shared_ptr<Pending>(pending));
    if (!RunUntil([&] { return pending->done; }, seconds)) return "error: timed out";
    return pending->result;
  }

 private:
  PageHarness& harness_;
  GtkWidget* window_ = nullptr;
  WebKitWebView* view_ = nullptr;
  std::uint64_t pageId_ = 0;
  int loads_ = 0;
};

}  // namespace wendrake::pagetest
