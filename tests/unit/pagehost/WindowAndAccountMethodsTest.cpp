// Window and account page methods, called as a page calls them.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "commands/AccountCommands.h"
#include "support/BridgeFixture.h"

namespace wendrake {
namespace {

using Lines = std::vector<std::string>;

class WindowAndAccountMethods : public testing::BridgeFixture {
 protected:
  void SetUp() override { UserLoggedIn = false; }
  void TearDown() override { UserLoggedIn = false; }
};

TEST_F(WindowAndAccountMethods, WindowCommandsReachTheHoldingWindow) {
  const std::pair<std::u16string_view, std::string> cases[] = {
      {u"CloseWindow", "window close"},       {u"Close", "window close"}, {u"closewindow", "window close"}, {u"Minimize", "window minimize"},
      {u"EndDialogBox", "window end-dialog"},
  };
  for (const auto& [method, line] : cases) {
    HeadlessHost headless({.noExec = true});
    const PageHost page(installation.Install(), headless, headless, headless.Services());
    EXPECT_EQ(ScriptBridge::Call(page, method, {}).code, S_OK);
    EXPECT_EQ(testing::DescribeEvents(headless, ""), Lines{line});
  }
}

TEST_F(WindowAndAccountMethods, RegistrationPageComesFromTheProductSite) {
  Result(u"UserRegister");
  EXPECT_EQ(EventLines(), Lines{"dialog https://www.lumifold.com/ui/pages/sc/register.html 384x374"});
  EXPECT_FALSE(UserLoggedIn);
}

TEST_F(WindowAndAccountMethods, DeliverUserInfoReplacesShortImagesWithTheDefault) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"", "UI/skin/default/images/pic_img2.jpg"},
      {u"a.j", "UI/skin/default/images/pic_img2.jpg"},
      {u"\U0001F600", "UI/skin/default/images/pic_img2.jpg"},  // two code units
      {u"a.jp", "a.jp"},
      {u"\U0001F600\U0001F600", "\xF0\x9F\x98\x80\xF0\x9F\x98\x80"},  // four code units
  };
  for (const auto& [image, passed] : cases) {
    HeadlessHost opener({.noExec = true}), dialog({.noExec = true});
    PageHost openerView(installation.Install(), opener, opener, opener.Services());
    const PageHost dialogView(installation.Install(), dialog, dialog, dialog.Services(), &openerView);
    UserLoggedIn = false;
    EXPECT_EQ(ScriptBridge::Call(dialogView, u"DeliverUserInfo", {std::u16string(u"player"), image}).code, S_OK);
    const std::string root = installation.Root().string() + "/";
    EXPECT_EQ(testing::DescribeEvents(opener, root), Lines{"page SetUserInfo(player|" + passed + ") ok"});
    EXPECT_EQ(testing::DescribeEvents(dialog, root), Lines{"window end-dialog"});
    EXPECT_TRUE(UserLoggedIn);
  }
}

TEST_F(WindowAndAccountMethods, DeliverUserInfoFromTheMainPageTellsThatPage) {
  Result(u"DeliverUserInfo", {std::u16string(u"player"), std::u16string(u"face.png")});
  // Ending is asked of the holding window, which ends only page dialogs.
  EXPECT_EQ(EventLines(), (Lines{"page SetUserInfo(player|face.png) ok", "window end-dialog"}));
  EXPECT_TRUE(UserLoggedIn);
}

TEST_F(WindowAndAccountMethods, FailedSetUserInfoStillEndsTheLogin) {
  HeadlessHost opener({.pageFunctions = std::set<std::u16string>{}, .noExec = true});
  PageHost openerView(installation.Install(), opener, opener, opener.Services());
  const PageHost dialogView(installation.Install(), host, host, host.Services(), &openerView);
  EXPECT_EQ(ScriptBridge::Call(dialogView, u"DeliverUserInfo", {std::u16string(u"player"), std::u16string(u"face.png")}).code, S_OK);
  EXPECT_EQ(testing::DescribeEvents(opener, ""), Lines{"page SetUserInfo(player|face.png) failed"});
  EXPECT_EQ(EventLines(), Lines{"window end-dialog"});
  EXPECT_TRUE(UserLoggedIn);
}

// A holding window whose dialogs run a script of what the user does in them.
class ScriptedWindow : public IHostWindow {
 public:
  std::vector<std::function<int()>> dialogs;
  std::vector<std::string> shown;
  int RunPageDialog(const PageDialogRequest& request) override {
    shown.push_back(request.address + " " + std::to_string(request.width) + "x" + std::to_string(request.height));
    if (shown.size() > dialogs.size()) return kDialogNotShown;
    return dialogs[shown.size() - 1]();
  }
  void CloseTopLevel() override {}
  void Minimize() override {}
  void EndDialog(int) override {}
};

TEST_F(WindowAndAccountMethods, UserLoginAsksAgainUntilALoginIsDelivered) {
  ScriptedWindow window;
  const PageHost mainView(installation.Install(), window, host, host.Services());
  HeadlessHost loginPage({.noExec = true});
  const PageHost loginView(installation.Install(), loginPage, loginPage, loginPage.Services(), const_cast<PageHost*>(&mainView));
  const int kCancel = 2;
  window.dialogs = {
      [&] { return kCancel; },  // closed without a login
      [&] { return kCancel; },
      [&] {
        EXPECT_EQ(ScriptBridge::Call(loginView, u"DeliverUserInfo", {std::u16string(u"player"), std::u16string()}).code, S_OK);
        return 1;
      },
  };
  UserLoggedIn = true;  // a new login starts logged out
  EXPECT_EQ(ScriptBridge::Call(mainView, u"UserLogin", {}).code, S_OK);
  const std::string login = installation.Root().string() + "/UI/pages/sc/login.html 367x273";
  EXPECT_EQ(window.shown, (Lines{login, login, login}));
  EXPECT_TRUE(UserLoggedIn);
  EXPECT_EQ(EventLines(), Lines{"page SetUserInfo(player|UI/skin/default/images/pic_img2.jpg) ok"});
}

TEST_F(WindowAndAccountMethods, UserLoginStopsWhenNoDialogCanBeShown) {
  UserLoggedIn = true;
  Result(u"UserLogin");
  EXPECT_EQ(EventLines(), Lines{"dialog UI/pages/sc/login.html 367x273"});
  EXPECT_FALSE(UserLoggedIn);
}

TEST_F(WindowAndAccountMethods, OnlyHttpLinksAreOpened) {
  const std::pair<std::u16string, bool> cases[] = {
      {u"http://example.org/news", true}, {u"https://example.org/", true}, {u"httpx", true}, {u"HTTP://example.org/", false},
      {u" http://example.org/", false},   {u"ftp://example.org/", false},  {u"", false},
  };
  for (const auto& [url, opened] : cases) {
    HeadlessHost headless({.noExec = true});
    const PageHost page(installation.Install(), headless, headless, headless.Services());
    EXPECT_EQ(ScriptBridge::Call(page, u"OpenLinkNewWindow", {url}).code, S_OK);
    const auto opens = std::count_if(headless.Events().begin(), headless.Events().end(), [&](const HostEvent& e) {
      return std::holds_alternative<OpenEvent>(e) && std::get<OpenEvent>(e).target == url;
    });
    EXPECT_EQ(opens, opened ? 1 : 0) << ToUtf8(url);
    EXPECT_EQ(headless.Events().size(), opened ? 1u : 0u);
  }
}

}  // namespace
}  // namespace wendrake
