// The installation's pages read its two catalogues through wendrake-data:, and
// nothing else; other pages read nothing.
#include <gtest/gtest.h>

#include "DesktopFixture.h"

namespace wendrake {
namespace {

using testing::RunUntil;

// Fetches each address in turn and reports "<status or error>:<length>" for each.
constexpr const char* kFetchAll = R"(
  function report(text) { if (window.external) window.external.ShowMsgBox(text); else document.title = text; }
  var addresses = ['wendrake-data:///update.xml', 'wendrake-data:///update_info.xml', 'wendrake-data:///registry.reg',
                   'wendrake-data:///../registry.reg', 'wendrake-data:///Temp/Pack.zip'];
  Promise.all(addresses.map(function (address) {
    return fetch(address).then(function (r) { return r.text().then(function (t) { return r.status + ':' + t; }); },
                               function () { return 'refused'; });
  })).then(function (results) { report('fetched ' + results.join(' | ')); });)";

class DataScheme : public testing::DesktopFixture {
 protected:
  void SetUp() override {
    installation.WriteFile("update.xml", "<Wendrake><plugin><item pid=\"7\" ver=\"2\" PlugName=\"A\" /></plugin></Wendrake>");
    installation.WriteFile("update_info.xml", "<Wendrake><plugin /></Wendrake>");
    installation.WriteHive({{"Data", "secret"}});
    installation.WriteFile("Temp/Pack.zip", "PK");
  }
};

TEST_F(DataScheme, InstallationPagesReadTheTwoCataloguesOnly) {
  auto& view = OpenPage("catalogues.html", "<!DOCTYPE html><html><body><script>" + std::string(kFetchAll) + "</script></body></html>");
  std::string fetched;
  ASSERT_TRUE(RunUntil([&] {
    for (const auto& event : WindowOf(view).events)
      if (event.rfind("dialog fetched ", 0) == 0) fetched = event.substr(15);
    return !fetched.empty();
  }));
  EXPECT_EQ(fetched,
            "200:" + installation.ReadFile("update.xml") + " | 200:" + installation.ReadFile("update_info.xml") + " | refused | refused | refused");
}

TEST_F(DataScheme, PagesOfOtherOriginsReadNothing) {
  const auto page =
      installation.WriteFile("elsewhere/page.html", "<!DOCTYPE html><html><body><script>" + std::string(kFetchAll) + "</script></body></html>");
  windows.push_back(std::make_unique<testing::TestWindow>());
  views.push_back(std::make_unique<CCustomHtmlView>(environment, messages, services));
  auto& view = *views.back();
  ASSERT_TRUE(view.CreateInWindow(1000, *windows.back()));
  view.Navigate(page.string());
  std::string title;
  ASSERT_TRUE(RunUntil([&] {
    const char* t = webkit_web_view_get_title(view.WebView());
    title = t ? t : "";
    return title.rfind("fetched ", 0) == 0;
  }));
  EXPECT_EQ(title, "fetched refused | refused | refused | refused | refused");
}

}  // namespace
}  // namespace wendrake
