// Whatever a page passes to window.external: no crash, no hang, and a call that is
// refused changes nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <span>

#include "addons/CatalogDocument.h"
#include "commands/AccountCommands.h"
#include "support/BridgeFixture.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

// An installation with something in every place a method reads or writes: the
// settings, a game folder with two add-ons, and a catalogue. One add-on's pid and
// folder hold the replacement character, which a text with a lone surrogate must
// never reach.
struct Scene {
  Scene() {
    game = installation.MakeGameFolder({{"Home", installation.Root().string()},
                                        {"Skin", "1"},
                                        {"Version", "1.0"},
                                        {"Data", "user^ENEOEP"},
                                        {"OsmarGamePath", (installation.Root() / "game/riftpatchchinese.exe").string()}});
    for (const char* folder : {"Alpha", "\xEF\xBF\xBDxyz"}) fs::create_directories(game / "Interface/AddOns" / folder);
    installation.WriteFile("update_info.xml",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Wendrake>\r\n    <plugin>\r\n"
                           "        <item pid=\"1\" ver=\"1.0\" PlugName=\"Alpha\" />\r\n"
                           "        <item pid=\"\xEF\xBF\xBDxyz\" ver=\"1.0\" PlugName=\"\xEF\xBF\xBDxyz\" />\r\n"
                           "    </plugin>\r\n</Wendrake>\r\n");
  }

  // Every file and folder with its bytes; lock files aside, which a read makes.
  std::map<std::string, std::string> Files() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(installation.Root())) {
      const std::string relative = fs::relative(entry.path(), installation.Root()).string();
      if (entry.is_directory())
        files[relative + "/"];
      else if (!relative.ends_with(".lock"))
        files[relative] = installation.ReadFile(relative);
    }
    return files;
  }

  InvokeOutcome Call(std::u16string_view method, const std::vector<PageValue>& arguments) const {
    return ScriptBridge::Call(view, method, arguments);
  }

  template <typename Event>
  std::optional<Event> Last() const {
    for (auto it = host.Events().rbegin(); it != host.Events().rend(); ++it)
      if (const auto* match = std::get_if<Event>(&*it)) return *match;
    return std::nullopt;
  }

  // The catalogue item at a 1-based position as "pid|ver|PlugName".
  std::u16string CatalogItem(size_t position) const {
    const auto document = CatalogDocument::Load(installation.Install().CatalogPath());
    const auto items = document ? document->Items() : std::vector<wendrake::CatalogItem>{};
    if (position == 0 || position > items.size()) return u"(none)";
    const auto& item = items[position - 1];
    return ToUtf16(item.pid.value_or("-") + "|" + item.version.value_or("-") + "|" + item.folderName.value_or("-"));
  }

  testing::TempInstallation installation;
  fs::path game;
  HeadlessHost host{{.noExec = true}};
  PageHost view{installation.Install(), host, host, host.Services()};
};

std::vector<PageValue> Texts(std::initializer_list<std::u16string> texts) { return {texts.begin(), texts.end()}; }

// Nothing happened: no file changed, nothing started, no page, window or dialog
// touched. A message box telling the user is allowed.
bool LeftNoTrace(const Scene& scene, const std::map<std::string, std::string>& before) {
  for (const auto& event : scene.host.Events()) {
    if (std::holds_alternative<MessageBoxEvent>(event)) continue;
    const auto* open = std::get_if<OpenEvent>(&event);
    if (!open || open->started) return false;
  }
  return scene.Files() == before;
}

struct WrongValue {
  PageValue value;
  HRESULT code;
};

struct WrongCall {
  std::vector<PageValue> arguments;
  HRESULT code;
};

TEST(BadPageInput, WrongCountsAndTypesAreRefusedWithoutEffect) {
  const bool loggedIn = UserLoggedIn;
  Scene scene;
  const auto before = scene.Files();
  const WrongValue notText[] = {{Null{}, DISP_E_TYPEMISMATCH}};
  const WrongValue notInteger[] = {
      {Null{}, DISP_E_TYPEMISMATCH},
      {std::u16string(u"one"), DISP_E_TYPEMISMATCH},
      {ObjectValue{u"[object Object]"}, DISP_E_TYPEMISMATCH},
      {std::u16string(1 << 20, u' '), DISP_E_TYPEMISMATCH},
      {std::u16string(1 << 20, u'9'), DISP_E_OVERFLOW},
      {1e10, DISP_E_OVERFLOW},
      {std::nan(""), DISP_E_OVERFLOW},
  };
  const auto table = ScriptBridge::Table();
  for (size_t index = 0; index < table.size(); ++index) {
    const MethodEntry& method = table[index];
    std::vector<PageValue> fitting;
    for (const ParamType type : method.parameters)
      fitting.push_back(type == ParamType::Text ? PageValue(std::u16string(u"1")) : PageValue(std::int32_t{0}));

    std::vector<WrongCall> wrong;
    wrong.push_back({fitting, DISP_E_BADPARAMCOUNT});
    wrong.back().arguments.emplace_back(std::in_place_type<std::u16string>, u"extra");
    if (!fitting.empty()) wrong.push_back({std::vector<PageValue>(fitting.begin(), fitting.end() - 1), DISP_E_PARAMNOTOPTIONAL});
    for (size_t k = 0; k < fitting.size(); ++k) {
      for (const WrongValue& value :
           method.parameters[k] == ParamType::Text ? std::span<const WrongValue>(notText) : std::span<const WrongValue>(notInteger)) {
        auto arguments = fitting;
        arguments[k] = value.value;
        wrong.push_back({std::move(arguments), value.code});
      }
    }
    for (const WrongCall& call : wrong)
      EXPECT_EQ(ScriptBridge::Invoke(scene.view, static_cast<std::int32_t>(index + 1), call.arguments).code, call.code)
          << ToUtf8(method.name) << " with " << call.arguments.size() << " arguments";
  }
  EXPECT_TRUE(scene.host.Events().empty());
  EXPECT_EQ(scene.Files(), before);
  EXPECT_EQ(UserLoggedIn, loggedIn);
}

// One row per place a page text goes. A call either refuses the text (its refusal
// answer, no trace) or the text arrives whole where it goes.
struct OddTextCase {
  std::u16string_view method;
  std::function<std::vector<PageValue>(const Scene&, const std::u16string&)> arguments;
  // The answer that says "refused"; none where any answer will do.
  std::optional<MethodResult> refusal;
  // Where the text went, and what it must read there; none for calls that may
  // only look.
  std::function<std::u16string(Scene&)> arrived;
  std::function<std::u16string(const Scene&, const std::u16string&)> expected;
};

std::u16string PatcherPath(const Scene& scene, const std::u16string& text) {
  return ToUtf16((scene.game / "").string()) + text + u"/riftpatchchinese.exe";
}

std::u16string Same(const Scene&, const std::u16string& text) { return text; }

const std::u16string kLink = u"https://example.invalid/";

TEST(BadPageInput, OddTextsArriveWholeOrAreRefusedWithoutEffect) {
  const std::u16string oddTexts[] = {
      std::u16string(1 << 20, u'x'), std::u16string(u"a\0bc", 4), u"\xD800xyz", u"xyz\xDC00", u"插件 Ünïcode \U0001F600",
  };
  const OddTextCase cases[] = {
      {u"SelectGameOK",
       [](const Scene& s, const std::u16string& t) {
         return std::vector<PageValue>{PatcherPath(s, t), std::int32_t{0}};
       },
       MethodResult{},
       [](Scene& s) {
         s.Call(u"ExecuteGame", {});
         const auto open = s.Last<OpenEvent>();
         return open ? open->target : u"(nothing started)";
       },
       PatcherPath},
      {u"DeliverUserInfo",
       [](const Scene&, const std::u16string& t) {
         return Texts({t, t});
       },
       std::nullopt,
       [](Scene& s) {
         const auto call = s.Last<PageCallEvent>();
         return call && call->arguments.size() == 2 ? call->arguments[0] + u"|" + call->arguments[1] : u"(no call)";
       },
       [](const Scene&, const std::u16string& t) { return t + u"|" + t; }},
      {u"IsExistPlugin", [](const Scene&, const std::u16string& t) { return Texts({t}); }, std::int32_t{0}, nullptr, nullptr},
      {u"AddPlugin",
       [](const Scene&, const std::u16string& t) {
         return Texts({t, u"1.0", u"Gamma"});
       },
       std::int32_t{0}, [](Scene& s) { return s.CatalogItem(3); }, [](const Scene&, const std::u16string& t) { return t + u"|1.0|Gamma"; }},
      {u"AddPlugin",
       [](const Scene&, const std::u16string& t) {
         return Texts({u"9", t, u"Gamma"});
       },
       std::int32_t{0}, [](Scene& s) { return s.CatalogItem(3); }, [](const Scene&, const std::u16string& t) { return u"9|" + t + u"|Gamma"; }},
      {u"AddPlugin",
       [](const Scene&, const std::u16string& t) {
         return Texts({u"9", u"1.0", t});
       },
       std::int32_t{0}, [](Scene& s) { return s.CatalogItem(3); }, [](const Scene&, const std::u16string& t) { return u"9|1.0|" + t; }},
      {u"RemovePlugin", [](const Scene&, const std::u16string& t) { return Texts({t}); }, std::int32_t{0}, nullptr, nullptr},
      {u"SetLocalPluginVer",
       [](const Scene&, const std::u16string& t) {
         return Texts({t, u"2.0"});
       },
       std::int32_t{0}, nullptr, nullptr},
      {u"SetLocalPluginVer",
       [](const Scene&, const std::u16string& t) {
         return Texts({u"1", t});
       },
       std::int32_t{0}, [](Scene& s) { return s.CatalogItem(1); }, [](const Scene&, const std::u16string& t) { return u"1|" + t + u"|Alpha"; }},
      {u"ComparePluginVer",
       [](const Scene&, const std::u16string& t) {
         return Texts({t, u"1.0"});
       },
       std::int32_t{0}, nullptr, nullptr},
      {u"ComparePluginVer",
       [](const Scene&, const std::u16string& t) {
         return Texts({u"1", t});
       },
       std::nullopt, nullptr, nullptr},
      {u"UnzipPlugin",
       [](const Scene&, const std::u16string& t) {
         return Texts({t, t});
       },
       std::nullopt, nullptr, nullptr},
      {u"ShowMsgBox", [](const Scene&, const std::u16string& t) { return Texts({t}); }, std::nullopt,
       [](Scene& s) {
         const auto box = s.Last<MessageBoxEvent>();
         return box ? box->code : u"(no message)";
       },
       Same},
      {u"InstallUpdate", [](const Scene&, const std::u16string& t) { return Texts({t}); }, std::nullopt, nullptr, nullptr},
      {u"ChangeSkin", [](const Scene&, const std::u16string& t) { return Texts({u"2" + t}); }, std::u16string(),
       [](Scene& s) { return std::get<std::u16string>(s.Call(u"ChangeSkin", Texts({u"1"})).result); },
       [](const Scene&, const std::u16string& t) { return u"2" + t; }},
      {u"SaveUserData", [](const Scene&, const std::u16string& t) { return Texts({t}); }, true,
       [](Scene& s) { return std::get<std::u16string>(s.Call(u"ReadRegData", {}).result); }, Same},
      {u"RemovePlugfolder",
       [](const Scene&, const std::u16string& t) {
         return Texts({t, u"9"});
       },
       std::nullopt, nullptr, nullptr},
      {u"RemovePlugfolder",
       [](const Scene&, const std::u16string& t) {
         return Texts({u"Gamma", t});
       },
       std::nullopt, nullptr, nullptr},
      {u"OpenLinkNewWindow", [](const Scene&, const std::u16string& t) { return Texts({kLink + t}); }, std::nullopt,
       [](Scene& s) {
         const auto open = s.Last<OpenEvent>();
         return open ? open->target : u"(nothing opened)";
       },
       [](const Scene&, const std::u16string& t) { return kLink + t; }},
  };
  const bool loggedIn = UserLoggedIn;
  for (const auto& c : cases) {
    for (const auto& text : oddTexts) {
      const std::string label = ToUtf8(c.method) + " given " + (text.size() > 40 ? "a megabyte" : ToUtf8(text));
      Scene scene;
      const auto before = scene.Files();
      const InvokeOutcome outcome = scene.Call(c.method, c.arguments(scene, text));
      ASSERT_EQ(outcome.code, S_OK) << label;
      const bool refused = (!c.refusal || outcome.result == *c.refusal) && LeftNoTrace(scene, before);
      if (!c.arrived) {
        EXPECT_TRUE(refused) << label << ": a call that may only look left a trace or answered as if it found something";
      } else if (!refused) {
        // Compared as UTF-16: a lone surrogate and the replacement character differ.
        const std::u16string arrived = c.arrived(scene);
        EXPECT_TRUE(arrived == c.expected(scene, text)) << label << ": arrived as " << ToUtf8(arrived.substr(0, 60));
      }
    }
  }
  UserLoggedIn = loggedIn;
}

}  // namespace
}  // namespace wendrake
