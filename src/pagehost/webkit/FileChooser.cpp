#include "pagehost/webkit/FileChooser.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "addons/PackageImport.h"
#include "core/Text.h"
#include "platform/GameSearch.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

constexpr std::u16string_view kPackageNotImported = u"无法把所选的插件包放入 Temp 文件夹：文件名不能用作插件包名，或磁盘空间不足。";

// Where the player last chose a file, for inputs that ask for nothing in particular.
fs::path gLastFolder;

struct Handler {
  WebViewEnvironment& environment;
  TellPlayer tell;
};

enum class Wanted { Game, Package, Anything };

bool Names(std::string_view text, std::initializer_list<std::string_view> words) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(g_ascii_tolower(c));
  for (const auto word : words)
    if (lower.find(word) != std::string::npos) return true;
  return false;
}

// What the input's accept asks for: WebKit hands over its MIME types, but its
// extensions only as the page has them.
Wanted WantedBy(WebKitFileChooserRequest* request, const std::string& accept) {
  std::string accepted = accept + " ";
  if (const gchar* const* types = webkit_file_chooser_request_get_mime_types(request))
    for (; *types; ++types) accepted += std::string(*types) + " ";
  if (GtkFileFilter* filter = webkit_file_chooser_request_get_mime_types_filter(request)) {
    g_autoptr(GVariant) rules = g_variant_ref_sink(gtk_file_filter_to_gvariant(filter));
    g_autofree char* text = g_variant_print(rules, FALSE);
    accepted += text;
  }
  if (Names(accepted, {".exe", "x-msdownload", "x-ms-dos-executable", "x-msdos-program", "portable-executable"})) return Wanted::Game;
  if (Names(accepted, {".zip", "/zip", "x-zip"})) return Wanted::Package;
  return Wanted::Anything;
}

fs::path StartingFolder(Wanted wanted) {
  if (wanted == Wanted::Game) {
    const auto found = FindGame(g_get_home_dir());
    if (!found.empty()) return found.front().parent_path();
  }
  if (wanted == Wanted::Package) {
    const char* downloads = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
    return downloads ? downloads : g_get_home_dir();
  }
  return gLastFolder;
}

// Holds the view and the request until the player has chosen.
struct Choosing {
  Choosing(const Handler& handler, WebKitWebView* view, WebKitFileChooserRequest* request)
      : handler(handler), view(WEBKIT_WEB_VIEW(g_object_ref(view))), request(WEBKIT_FILE_CHOOSER_REQUEST(g_object_ref(request))) {}
  ~Choosing() {
    g_clear_object(&request);
    g_clear_object(&view);
  }
  Choosing(const Choosing&) = delete;
  Choosing& operator=(const Choosing&) = delete;

  const Handler& handler;
  WebKitWebView* view;
  WebKitFileChooserRequest* request;
};

void Chosen(GtkNativeDialog* dialog, gint response, gpointer data) {
  g_autoptr(GtkNativeDialog) finished = dialog;
  std::unique_ptr<Choosing> choosing(static_cast<Choosing*>(data));
  // A view taken down meanwhile (the program ending) has no page to tell.
  const bool viewGone = !gtk_widget_get_parent(GTK_WIDGET(choosing->view));
  if (response != GTK_RESPONSE_ACCEPT || viewGone) {
    webkit_file_chooser_request_cancel(choosing->request);
  } else {
    std::vector<std::string> paths;
    GSList* files = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(dialog));
    for (GSList* file = files; file; file = file->next) paths.emplace_back(static_cast<char*>(file->data));
    g_slist_free_full(files, g_free);
    std::vector<std::u16string> texts;
    for (const auto& path : paths) {
      texts.push_back(ToUtf16(path));
      if (EqualsIgnoreAsciiCase(fs::path(path).extension().string(), ".zip") && !ImportPackage(choosing->handler.environment.Install(), path))
        choosing->handler.tell(kPackageNotImported);
    }
    if (!paths.empty()) gLastFolder = fs::path(paths.front()).parent_path();
    // The page hears the paths before WebKit hands it the files, so its change
    // handlers find them.
    choosing->handler.environment.Channel().DeliverChosenFiles(webkit_web_view_get_page_id(choosing->view), texts);
    std::vector<const char*> names;
    for (const auto& path : paths) names.push_back(path.c_str());
    names.push_back(nullptr);
    webkit_file_chooser_request_select_files(choosing->request, names.data());
  }
}

// Takes the choosing over: the dialog's answer ends it.
void OpenChooser(Choosing* choosing, const std::string& accept) {
  WebKitWebView* view = choosing->view;
  WebKitFileChooserRequest* request = choosing->request;
  GtkWidget* toplevel = gtk_widget_get_toplevel(GTK_WIDGET(view));
  GtkFileChooserNative* dialog = gtk_file_chooser_native_new("选择文件", GTK_IS_WINDOW(toplevel) ? GTK_WINDOW(toplevel) : nullptr,
                                                             GTK_FILE_CHOOSER_ACTION_OPEN, "打开(_O)", "取消(_C)");
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(dialog), TRUE);
  gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(dialog), webkit_file_chooser_request_get_select_multiple(request));
  if (GtkFileFilter* filter = webkit_file_chooser_request_get_mime_types_filter(request)) {
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), filter);
    GtkFileFilter* everything = gtk_file_filter_new();
    gtk_file_filter_set_name(everything, "所有文件");
    gtk_file_filter_add_pattern(everything, "*");
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), everything);
  }
  const fs::path folder = StartingFolder(WantedBy(request, accept));
  if (!folder.empty()) gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), folder.c_str());
  g_signal_connect(dialog, "response", G_CALLBACK(Chosen), choosing);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(dialog));
}

// The input the player activated has the focus; a world of our own reads its
// accept, out of reach of the page's script.
constexpr char kFocusedAccept[] = "(function () { var e = document.activeElement; return e && e.accept ? String(e.accept) : ''; })()";

gboolean RunFileChooser(WebKitWebView* view, WebKitFileChooserRequest* request, gpointer data) {
  const auto& handler = *static_cast<const Handler*>(data);
  if (!handler.environment.ShowsInstallationPage(view)) return FALSE;
  auto* choosing = new Choosing(handler, view, request);
  webkit_web_view_evaluate_javascript(
      view, kFocusedAccept, -1, "wendrake-file-chooser", nullptr, nullptr,
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        g_autoptr(JSCValue) value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
        g_autofree char* accept = value && jsc_value_is_string(value) ? jsc_value_to_string(value) : nullptr;
        OpenChooser(static_cast<Choosing*>(data), accept ? accept : "");
      },
      choosing);
  return TRUE;
}

}  // namespace

void HandleFileInputs(WebKitWebView* view, WebViewEnvironment& environment, TellPlayer tell) {
  g_signal_connect_data(
      view, "run-file-chooser", G_CALLBACK(RunFileChooser), new Handler{environment, std::move(tell)},
      +[](gpointer data, GClosure*) { delete static_cast<Handler*>(data); }, GConnectFlags{});
}

}  // namespace wendrake
