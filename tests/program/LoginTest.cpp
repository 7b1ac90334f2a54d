// The login: what the login page delivers reaches the main page, and a login
// dialog closed without a login comes back.
#include <gtest/gtest.h>

#include <filesystem>

#include "ProgramFixture.h"
#include "harness/Wait.h"

namespace wendrake::programtest {
namespace {

struct Delivery {
  const char* name;
  const char* user;
  const char* image;
  const char* shownImage;  // nullptr: the default user image
};

void PrintTo(const Delivery& value, std::ostream* out) { *out << value.name; }

class Login : public ProgramTest, public ::testing::WithParamInterface<Delivery> {};

TEST_P(Login, DeliveredUserReachesTheMainPage) {
  const Delivery& delivery = GetParam();
  auto& run = Start();
  ASSERT_TRUE(LogIn(run, delivery.user, delivery.image)) << Describe(Windows(run));
  const auto received = pages.After("SetUserInfo:");
  ASSERT_TRUE(received) << "SetUserInfo was not called";
  EXPECT_EQ(pages.Count("SetUserInfo:" + *received), 1);
  const auto bar = received->find('|');
  ASSERT_NE(bar, std::string::npos);
  EXPECT_EQ(received->substr(0, bar), delivery.user);
  const std::string image = received->substr(bar + 1);
  if (delivery.shownImage) {
    EXPECT_EQ(image, delivery.shownImage);
  } else {
    EXPECT_EQ(std::filesystem::path(image).lexically_normal(), program.Root() / "UI" / "skin" / "default" / "images" / "pic_img2.jpg") << image;
  }
  Screenshot("main");
}

INSTANTIATE_TEST_SUITE_P(Deliveries, Login,
                         ::testing::Values(Delivery{"ImageOfTheUser", "alice", "C:\\faces\\alice.png", "C:\\faces\\alice.png"},
                                           Delivery{"NoImage", "\xE5\xB0\x8F\xE6\x98\x8E", "", nullptr},
                                           Delivery{"ThreeCharacterImage", "bob", "abc", nullptr},
                                           Delivery{"FourCharacterImage", "carol", "abcd", "abcd"}),
                         [](const auto& info) { return std::string(info.param.name); });

using LoginDialog = ProgramTest;

TEST_F(LoginDialog, ClosingItBringsItBack) {
  auto& run = Start();
  const auto first = WaitForLoginDialog(run, 1);
  ASSERT_TRUE(first) << Describe(Windows(run));
  // CloseWindow and Close are the same command.
  const char* closes[] = {"window.external.CloseWindow();", "window.external.Close();"};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(closes[i]);
    pages.Send("login", closes[i]);
    const auto again = WaitForLoginDialog(run, i + 2);
    ASSERT_TRUE(again) << Describe(Windows(run));
    EXPECT_EQ(again->x, first->x);
    EXPECT_EQ(again->y, first->y);
    const auto main = MainWindow(run);
    EXPECT_TRUE(!main || !main->mapped) << Describe(*main);
    EXPECT_FALSE(pages.After("SetUserInfo:"));
  }
  ASSERT_TRUE(LogIn(run, "dora", "C:\\faces\\dora.png")) << Describe(Windows(run));
  EXPECT_EQ(pages.Count("SetUserInfo:dora|C:\\faces\\dora.png"), 1);
  EXPECT_TRUE(program.CataloguedAddOnsAre(true));
}

}  // namespace
}  // namespace wendrake::programtest
