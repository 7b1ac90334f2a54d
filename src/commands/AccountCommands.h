#pragma once
// Page methods for windows and the user's account.
#include <string>
#include <string_view>

#include "core/PageHost.h"

namespace wendrake {

// Process-wide: set once a login page has delivered a user.
inline bool UserLoggedIn = false;

void CloseWindow(const PageHost& view);
void EndDialogBox(const PageHost& view);
void Minimize(const PageHost& view);
void ExitInstance(const PageHost& view);
void UserLogin(const PageHost& view);
void UserRegister(const PageHost& view);
void DeliverUserInfo(const PageHost& view, std::u16string_view user, std::u16string_view image);
bool CheckNetConnect(const PageHost& view);
// True when storing failed (the page's convention), after showing "1010".
bool SaveUserData(const PageHost& view, std::u16string_view data);
std::u16string ReadRegData(const PageHost& view);
void DeleteRegData(const PageHost& view);
void OpenLinkNewWindow(const PageHost& view, std::u16string_view url);

}  // namespace wendrake
