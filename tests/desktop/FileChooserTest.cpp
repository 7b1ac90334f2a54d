// <input type="file"> in pages: the desktop's chooser, what the page then reads,
// and a chosen package brought into Temp and installed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "DesktopFixture.h"
#include "RealKeyboard.h"
#include "SyntheticInput.h"
#include "core/Text.h"
#include "support/ZipBuilder.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;
using testing::RunUntil;
using testing::SendButton;

// A file input over the whole page that reports what the page reads once a file
// has been chosen, and installs a chosen package when asked.
std::string ChooserPage(const std::string& accept) {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body style=\"margin:0\">"
         "<input id=\"file\" type=\"file\" accept=\"" +
         accept +
         "\" style=\"position:absolute;left:0;top:0;width:400px;height:300px\">"
         "<script>var input = document.getElementById('file');"
         "input.addEventListener('change', function () {"
         "  var name = input.files.length ? input.files[0].name : '';"
         "  window.external.ShowMsgBox('value=' + input.value + ' files=' + input.files.length + ' name=' + name);"
         "});"
         "function UnzipFinished(tag, name) { window.external.ShowMsgBox('finished ' + tag + ' ' + name); }"
         "function Install(name) { window.external.ShowMsgBox('unzip ' + window.external.UnzipPlugin('t', name)); }"
         "window.external.ShowMsgBox('ready');</script></body></html>";
}

class FileChooser : public testing::DesktopFixture {
 protected:
  // The player's download folder, as the desktop names it.
  void SetUp() override {
    fs::create_directories(downloads);
    fs::create_directories(home / ".config");
    std::ofstream(home / ".config/user-dirs.dirs") << "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n";
    g_reload_user_special_dirs_cache();
  }

  // The chooser dialog this process shows, once it is there.
  GtkFileChooser* WaitForChooser() {
    GtkFileChooser* found = nullptr;
    RunUntil([&] {
      GList* windows = gtk_window_list_toplevels();
      for (GList* window = windows; window; window = window->next)
        if (GTK_IS_FILE_CHOOSER(window->data) && gtk_widget_get_visible(GTK_WIDGET(window->data))) found = GTK_FILE_CHOOSER(window->data);
      g_list_free(windows);
      return found != nullptr;
    });
    return found;
  }
  // Picks the file in the chooser and accepts it, once the chooser has it selected.
  void Choose(GtkFileChooser* chooser, const fs::path& file) {
    gtk_file_chooser_select_filename(chooser, file.c_str());
    EXPECT_TRUE(RunUntil([&] {
      g_autofree char* selected = gtk_file_chooser_get_filename(chooser);
      return selected && file == selected;
    })) << file;
    gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
  }
  // Clicks the input as a player does, and gives the chooser that opens.
  GtkFileChooser* OpenChooser(CCustomHtmlView& view) {
    SendButton(GTK_WIDGET(view.WebView()), 1, 200, 150);
    return WaitForChooser();
  }
  // The rows of the chooser's file list: none until it has read the folder.
  static int ListedFiles(GtkWidget* widget) {
    if (GTK_IS_TREE_VIEW(widget)) {
      GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(widget));
      return model ? gtk_tree_model_iter_n_children(model, nullptr) : 0;
    }
    int rows = 0;
    if (GTK_IS_CONTAINER(widget)) {
      g_autoptr(GList) children = gtk_container_get_children(GTK_CONTAINER(widget));
      for (GList* child = children; child; child = child->next) rows += ListedFiles(GTK_WIDGET(child->data));
    }
    return rows;
  }
  // Opens the chooser's location field, types the name there, then Enter, on the
  // keyboard; each step once the chooser shows the one before, as a person
  // watching it goes on. Until the chooser has read its folder, the field loses
  // the first keys and an Enter may be ignored.
  void TypePath(GtkFileChooser* chooser, const std::string& path) {
    GtkWidget* dialog = GTK_WIDGET(chooser);
    const auto field = [&]() -> GtkEntry* {
      GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(dialog));
      return focus && GTK_IS_ENTRY(focus) && gtk_widget_get_mapped(focus) ? GTK_ENTRY(focus) : nullptr;
    };
    ASSERT_TRUE(RunUntil([&] { return ListedFiles(dialog) > 0; })) << "the chooser lists no files";
    testing::PressInto(dialog, GDK_KEY_l, true);
    ASSERT_TRUE(RunUntil([&] { return field() != nullptr; })) << "the location field did not open";
    testing::TypeInto(dialog, path);
    ASSERT_TRUE(RunUntil([&] { return field() && path == gtk_entry_get_text(field()); }))
        << "the location field holds \"" << (field() ? gtk_entry_get_text(field()) : "") << "\"";
    testing::PressInto(dialog, GDK_KEY_Return);
  }
  std::string LastEvent(CCustomHtmlView& view, const std::string& prefix) {
    std::string found;
    RunUntil([&] {
      for (const auto& event : WindowOf(view).events)
        if (event.rfind("dialog " + prefix, 0) == 0) found = event.substr(7);
      return !found.empty();
    });
    return found;
  }
  CCustomHtmlView& Open(const std::string& file, const std::string& accept) {
    auto& view = OpenPage(file, ChooserPage(accept));
    EXPECT_TRUE(WaitForEvent(WindowOf(view), "dialog ready"));
    return view;
  }

  const fs::path home = g_get_home_dir();
  const fs::path downloads = home / "Downloads";
};

TEST_F(FileChooser, AnInstallationPageReadsTheFullPathAndItsPackageInstallsFromTemp) {
  const fs::path game = installation.MakeGameFolder();
  const fs::path package = downloads / "Rift Meter.zip";
  testing::WriteZip(package, {testing::ZipEntrySpec::File("RiftMeter/RiftAddon.toc", "## Title: Meter\n")});
  auto& view = Open("install.html", ".zip");
  GtkFileChooser* chooser = OpenChooser(view);
  ASSERT_TRUE(chooser) << "no file chooser opened";
  EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(chooser)));
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(chooser)), GTK_WINDOW(WindowOf(view).Widget()));
  TypePath(chooser, package.filename().string());
  EXPECT_EQ(LastEvent(view, "value="), "value=" + package.string() + " files=1 name=Rift Meter.zip");
  EXPECT_EQ(installation.ReadFile("Temp/Rift Meter.zip"), installation.ReadFile(package));

  ASSERT_TRUE(view.RefreshDocument());
  ASSERT_TRUE(view.CallPageScript(u"Install", u"Rift Meter"));
  EXPECT_EQ(LastEvent(view, "unzip "), "unzip 1");
  EXPECT_TRUE(fs::exists(game / "Interface/AddOns/RiftMeter/RiftAddon.toc"));
  EXPECT_TRUE(fs::exists(package)) << "the chosen file itself stays";
}

TEST_F(FileChooser, AReplacedPackageIsWholeAndANameThatCouldLeaveTempIsRefused) {
  installation.WriteFile("Temp/Pack.zip", "an older package");
  testing::WriteZip(downloads / "Pack.ZIP", {testing::ZipEntrySpec::File("Pack/RiftAddon.toc", "new")});
  testing::WriteZip(downloads / "..\\Pack2.zip", {testing::ZipEntrySpec::File("Pack2/RiftAddon.toc", "x")});
  struct Case {
    fs::path chosen;
    const char* inTemp;  // the copy's name, or nullptr when none is made
  };
  for (const Case& c : {Case{downloads / "Pack.ZIP", "Pack.zip"}, Case{downloads / "..\\Pack2.zip", nullptr}}) {
    messages.texts.clear();
    auto& view = Open("replace.html", ".zip");
    GtkFileChooser* chooser = OpenChooser(view);
    ASSERT_TRUE(chooser);
    Choose(chooser, c.chosen);
    // The page gets its file either way.
    EXPECT_EQ(LastEvent(view, "value="), "value=" + c.chosen.string() + " files=1 name=" + c.chosen.filename().string());
    if (c.inTemp) {
      EXPECT_EQ(installation.ReadFile(fs::path("Temp") / c.inTemp), installation.ReadFile(c.chosen));
      EXPECT_TRUE(messages.texts.empty());
    } else {
      EXPECT_EQ(messages.texts.size(), 1u) << "the player is told";
    }
    for (const auto& entry : fs::directory_iterator(installation.Root() / "Temp"))
      EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
  }
  EXPECT_FALSE(fs::exists(home / "Pack2.zip"));
  EXPECT_EQ(std::distance(fs::directory_iterator(installation.Root() / "Temp"), fs::directory_iterator()), 1);
}

TEST_F(FileChooser, APageOfAnotherOriginGetsTheNameOnly) {
  testing::WriteZip(downloads / "Other.zip", {testing::ZipEntrySpec::File("Other/RiftAddon.toc", "x")});
  // A file page outside the UI folder has no bridge: it reports through its title.
  const fs::path page = installation.WriteFile(
      "elsewhere/page.html",
      "<!DOCTYPE html><html><body style=\"margin:0\"><input id=\"file\" type=\"file\" style=\"position:absolute;left:0;top:0;width:400px;height:300px\">"
      "<script>var input = document.getElementById('file'); document.title = 'ready';"
      "input.addEventListener('change', function () { document.title = 'value=' + input.value; });</script></body></html>");
  windows.push_back(std::make_unique<testing::TestWindow>());
  views.push_back(std::make_unique<CCustomHtmlView>(environment, messages, services));
  auto& view = *views.back();
  ASSERT_TRUE(view.CreateInWindow(1000, *windows.back()));
  view.Navigate(page.string());
  auto title = [&] {
    const char* t = webkit_web_view_get_title(view.WebView());
    return std::string(t ? t : "");
  };
  ASSERT_TRUE(RunUntil([&] { return title() == "ready"; }));
  GtkFileChooser* chooser = OpenChooser(view);
  ASSERT_TRUE(chooser);
  Choose(chooser, (downloads / "Other.zip"));
  EXPECT_TRUE(RunUntil([&] { return title().rfind("value=", 0) == 0; }));
  EXPECT_EQ(title(), "value=C:\\fakepath\\Other.zip");
  EXPECT_FALSE(fs::exists(installation.Root() / "Temp/Other.zip"));
}

TEST_F(FileChooser, ItOpensWhereTheFileIsLikelyToBe) {
  // The game in a Wine prefix of the player's home, found by the search.
  const fs::path patcher = home / "Games/rift/drive_c/Rift/riftpatchchinese.exe";
  fs::create_directories(patcher.parent_path());
  std::ofstream(home / "Games/rift/system.reg") << "WINE REGISTRY Version 2\n";
  std::ofstream(patcher) << "MZ";
  fs::create_directories(downloads / "elsewhere");
  std::ofstream(downloads / "elsewhere/notes.txt") << "x";
  struct Case {
    const char* accept;
    fs::path folder;
  };
  const Case cases[] = {
      {".exe", patcher.parent_path()},
      {".zip", downloads},
  };
  for (const auto& c : cases) {
    auto& view = Open("start.html", c.accept);
    GtkFileChooser* chooser = OpenChooser(view);
    ASSERT_TRUE(chooser) << c.accept;
    g_autofree char* folder = nullptr;
    RunUntil([&] { return (folder = gtk_file_chooser_get_current_folder(chooser)) != nullptr; });
    EXPECT_EQ(fs::path(folder ? folder : ""), c.folder) << c.accept;
    gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
    RunUntil([&] { return !gtk_widget_get_visible(GTK_WIDGET(chooser)); });
  }
  // Once a file was chosen, an input that names nothing in particular opens there.
  auto& view = Open("last.html", "");
  GtkFileChooser* chooser = OpenChooser(view);
  ASSERT_TRUE(chooser);
  Choose(chooser, (downloads / "elsewhere/notes.txt"));
  ASSERT_FALSE(LastEvent(view, "value=").empty());
  auto& next = Open("next.html", ".txt");
  chooser = OpenChooser(next);
  ASSERT_TRUE(chooser);
  g_autofree char* folder = nullptr;
  RunUntil([&] { return (folder = gtk_file_chooser_get_current_folder(chooser)) != nullptr; });
  EXPECT_EQ(fs::path(folder ? folder : ""), downloads / "elsewhere");
  gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
}

}  // namespace
}  // namespace wendrake
