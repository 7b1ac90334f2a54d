#pragma once
// The page set a program test installs in place of the product's pages. Every page
// keeps an event log and runs the scripts the test sends it (PageConversation.h).
#include <string>

namespace wendrake::programtest {

// A page named `name` ("main", "login", "error") that logs "<name>:ready" once its
// script has run. `functions` defines the page functions native code calls.
std::string TestPage(const std::string& name, const std::string& functions = "");

// The test pages the program opens, each logging what it is called with:
// main.html "SetUserInfo:<user>|<image>", error.html "InitMsgBox:<code>".
std::string MainPage();
std::string LoginPage();
std::string ErrorPage();

}  // namespace wendrake::programtest
