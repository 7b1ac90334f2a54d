#include "commands/AccountCommands.h"

#include "commands/SettingsStore.h"
#include "core/ProductSite.h"
#include "core/Text.h"

namespace wendrake {

void CloseWindow(const PageHost& view) { view.HoldingWindow().CloseTopLevel(); }

void EndDialogBox(const PageHost& view) { view.HoldingWindow().EndDialog(1); }

void Minimize(const PageHost& view) { view.HoldingWindow().Minimize(); }

void ExitInstance(const PageHost& view) { view.Services().instances.EndAllInstances(); }

void UserLogin(const PageHost& view) {
  UserLoggedIn = false;
  const std::string page = view.Install().ModuleRelative(u"..\\UI\\pages\\sc\\login.html").string();
  // A dialog that cannot be shown at all would otherwise be asked for forever.
  while (!UserLoggedIn) {
    if (view.HoldingWindow().RunPageDialog({page, 367, 273, u""}) == kDialogNotShown) break;
  }
}

void UserRegister(const PageHost& view) {
  view.HoldingWindow().RunPageDialog({std::string(kProductSite) + "/ui/pages/sc/register.html", 384, 374, u""});
}

void DeliverUserInfo(const PageHost& view, std::u16string_view user, std::u16string_view image) {
  std::u16string picture(image);
  if (picture.size() <= 3) picture = ToUtf16(view.Install().ModuleRelative(u"..\\UI\\skin\\default\\images\\pic_img2.jpg").string());
  // The main page has no opener: it is told about its own login.
  const PageHost& opener = view.OpenerViewWindow() ? *view.OpenerViewWindow() : view;
  // The main page loads beside the login dialog and may not have finished yet.
  opener.Page().AwaitLoaded();
  opener.Page().RefreshDocument();
  opener.Page().CallPageScript(u"SetUserInfo", {std::u16string(user), picture});
  view.HoldingWindow().EndDialog(1);
  UserLoggedIn = true;
}

bool CheckNetConnect(const PageHost& view) { return view.Services().network.CheckConnection(); }

bool SaveUserData(const PageHost& view, std::u16string_view data) {
  // The store reads a value up to its first NUL: a text holding one cannot be kept whole.
  if (data.find(u'\0') != std::u16string_view::npos) {
    view.ShowMsgBox(u"1010");
    return true;
  }
  RegistryKey key = OpenSettingsKey(view.Install());
  const bool stored = key.SetValue(SettingsValue::Data, ToStoredUserData(data));
  key.Close();
  if (stored) return false;
  view.ShowMsgBox(u"1010");
  return true;
}

std::u16string ReadRegData(const PageHost& view) {
  CRegistry registry(OpenSettingsKey(view.Install()));
  std::u16string stored;
  const bool read = registry.Read(SettingsValue::Data, stored);
  registry.Close();
  return read ? FromStoredUserData(stored) : std::u16string();
}

void DeleteRegData(const PageHost& view) {
  RegistryKey key = OpenSettingsKey(view.Install());
  key.DeleteValue(SettingsValue::Data);
  key.Close();
}

void OpenLinkNewWindow(const PageHost& view, std::u16string_view url) {
  if (url.starts_with(u"http")) view.Services().shell.ShellOpen(url);
}

}  // namespace wendrake
