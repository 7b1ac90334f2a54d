#include "harness/TestPages.h"

namespace wendrake::programtest {
namespace {

// Appends a line to the log in the hive's Data value. Page calls are served one
// at a time, but two pages may log at once (the main page and the login dialog
// load together), and a page's read and write may then take the other's line
// away; each page counts its own lines and puts back any it finds missing.
constexpr const char* kLogFunction = R"(
var TestLogOwn = {};
function TestLogCount(text, line) {
  var lines = text.split("\n"), n = 0;
  for (var i = 0; i < lines.length; ++i) if (lines[i] === line) ++n;
  return n;
}
function TestLog(line) {
  var text = window.external.ReadRegData();
  if (!(line in TestLogOwn)) TestLogOwn[line] = TestLogCount(text, line);
  ++TestLogOwn[line];
  window.external.SaveUserData(text + line + "\n");
}
function TestLogRepair() {
  var text = window.external.ReadRegData(), missing = "";
  for (var line in TestLogOwn)
    for (var n = TestLogCount(text, line); n < TestLogOwn[line]; ++n) missing += line + "\n";
  if (missing) window.external.SaveUserData(text + missing);
}
// Logs the line, then never returns. No poll runs again to put back a line
// another page's write took away, so the spin does it.
function TestHang(line) {
  TestLog(line);
  for (var next = Date.now() + 100;;) {
    if (Date.now() < next) continue;
    TestLogRepair();
    next = Date.now() + 100;
  }
})";

// The hive's Version value holds "<id>|<page>|<script>". A page takes the value
// it finds when it loads as already done, so the test sends a page a script only
// after the page has logged that it is ready.
constexpr const char* kCommandPoll = R"(
(function () {
  var page = "%PAGE%";
  var seen = window.external.GetLocalProgVer();
  setInterval(function () {
    TestLogRepair();
    var command = window.external.GetLocalProgVer();
    if (command === seen) return;
    seen = command;
    var first = command.indexOf("|"), second = command.indexOf("|", first + 1);
    if (first < 0 || second < 0 || command.substring(first + 1, second) !== page) return;
    TestLog(page + ":run " + command.substring(0, first));
    (0, eval)(command.substring(second + 1));
  }, 50);
  TestLog(page + ":ready");
})();)";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) text.replace(at, from.size(), to);
  return text;
}

}  // namespace

std::string TestPage(const std::string& name, const std::string& functions) {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + name +
         "</title><style>html,body{margin:0;height:100%;background:#24445c;color:#fff;font:22px sans-serif}"
         "h1{margin:30px 40px 10px}p{margin:0 40px}</style></head><body><h1>" +
         name + " test page</h1><p id=\"note\"></p><script>" + kLogFunction + "\n" + functions + "\n" + Replace(kCommandPoll, "%PAGE%", name) +
         "\n</script></body></html>";
}

std::string MainPage() {
  return TestPage("main", R"(function SetUserInfo(user, image) {
  TestLog("SetUserInfo:" + user + "|" + image);
  document.getElementById("note").textContent = "Logged in: " + user;
})");
}

std::string LoginPage() { return TestPage("login"); }

std::string ErrorPage() {
  return TestPage("error", R"(function InitMsgBox(code) {
  TestLog("InitMsgBox:" + code);
  document.getElementById("note").textContent = "Message " + code;
})");
}

}  // namespace wendrake::programtest
