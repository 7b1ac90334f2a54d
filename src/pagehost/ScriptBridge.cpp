#include "pagehost/ScriptBridge.h"

#include "addons/AddOnSwitching.h"
#include "addons/FolderRemoval.h"
#include "addons/PackageInstallation.h"
#include "addons/PluginCatalog.h"
#include "addons/SnapshotMethods.h"
#include "commands/AccountCommands.h"
#include "commands/GameCommands.h"
#include "commands/VersionCommands.h"
#include "core/Text.h"
#include "pagehost/ArgumentConversion.h"

namespace wendrake {
namespace {

using enum ParamType;

PluginCatalog Catalog(const PageHost& view) { return PluginCatalog(view.Install()); }

MethodResult CloseWindowMethod(const PageHost& view, const Arguments&) {
  CloseWindow(view);
  return {};
}

// Every method a page may call on window.external. The position is the member ID;
// "CloseWindow" and "Close" share one handler.
const std::vector<MethodEntry>& Methods() {
  static const std::vector<MethodEntry> methods = {
      {u"CloseWindow", {}, CloseWindowMethod},
      {u"Close", {}, CloseWindowMethod},
      {u"EndDialogBox",
       {},
       [](const PageHost& v, const Arguments&) -> MethodResult {
         EndDialogBox(v);
         return {};
       }},
      {u"ExitInstance",
       {},
       [](const PageHost& v, const Arguments&) -> MethodResult {
         ExitInstance(v);
         return {};
       }},
      {u"Minimize",
       {},
       [](const PageHost& v, const Arguments&) -> MethodResult {
         Minimize(v);
         return {};
       }},
      {u"UserLogin",
       {},
       [](const PageHost& v, const Arguments&) -> MethodResult {
         UserLogin(v);
         return {};
       }},
      {u"UserRegister",
       {},
       [](const PageHost& v, const Arguments&) -> MethodResult {
         UserRegister(v);
         return {};
       }},
      {u"RunGame",
       {},
       [](const PageHost& v, const Arguments&) -> MethodResult {
         RunGame(v);
         return {};
       }},
      {u"ExecuteGame",
       {},
       [](const PageHost& v, const Arguments&) -> MethodResult {
         ExecuteGame(v);
         return {};
       }},
      {u"SelectGameOK",
       {Text, Integer},
       [](const PageHost& v, const Arguments& a) -> MethodResult {
         SelectGameOK(v, a.Text(0), a.Integer(1));
         return {};
       }},
      {u"SelectGamePath",
       {Integer},
       [](const PageHost& v, const Arguments& a) -> MethodResult {
         SelectGamePath(v, a.Integer(0));
         return {};
       }},
      {u"DeliverUserInfo",
       {Text, Text},
       [](const PageHost& v, const Arguments& a) -> MethodResult {
         DeliverUserInfo(v, a.Text(0), a.Text(1));
         return {};
       }},
      {u"CheckNetConnect", {}, [](const PageHost& v, const Arguments&) -> MethodResult { return CheckNetConnect(v); }},
      {u"GetPluginCount", {}, [](const PageHost& v, const Arguments&) -> MethodResult { return Catalog(v).GetPluginCount(); }},
      {u"GetExistPlugin", {}, [](const PageHost& v, const Arguments&) -> MethodResult { return Catalog(v).GetExistPlugin(); }},
      {u"IsExistGamePath", {}, [](const PageHost& v, const Arguments&) -> MethodResult { return IsExistGamePath(v); }},
      {u"IsExistPlugin", {Text}, [](const PageHost& v, const Arguments& a) -> MethodResult { return Catalog(v).IsExistPlugin(a.Text(0)); }},
      {u"AddPlugin",
       {Text, Text, Text},
       [](const PageHost& v, const Arguments& a) -> MethodResult { return Catalog(v).AddPlugin(a.Text(0), a.Text(1), a.Text(2)); }},
      {u"RemovePlugin", {Text}, [](const PageHost& v, const Arguments& a) -> MethodResult { return Catalog(v).RemovePlugin(a.Text(0)); }},
      {u"SetLocalPluginVer",
       {Text, Text},
       [](const PageHost& v, const Arguments& a) -> MethodResult { return Catalog(v).SetLocalPluginVer(a.Text(0), a.Text(1)); }},
      {u"ComparePluginVer",
       {Text, Text},
       [](const PageHost& v, const Arguments& a) -> MethodResult { return Catalog(v).ComparePluginVer(a.Text(0), a.Text(1)); }},
      {u"UnzipPlugin", {Text, Text}, [](const PageHost& v, const Arguments& a) -> MethodResult { return UnzipPlugin(v, a.Text(0), a.Text(1)); }},
      {u"ShowMsgBox",
       {Text},
       [](const PageHost& v, const Arguments& a) -> MethodResult {
         v.ShowMsgBox(a.Text(0));
         return {};
       }},
      {u"GetLocalProgVer", {}, [](const PageHost& v, const Arguments&) -> MethodResult { return GetLocalProgVer(v); }},
      {u"InstallUpdate", {Text}, [](const PageHost& v, const Arguments& a) -> MethodResult { return InstallUpdate(v, a.Text(0)); }},
      {u"ChangeSkin", {Text}, [](const PageHost& v, const Arguments& a) -> MethodResult { return ChangeSkin(v, a.Text(0)); }},
      {u"SaveUserData", {Text}, [](const PageHost& v, const Arguments& a) -> MethodResult { return SaveUserData(v, a.Text(0)); }},
      {u"ReadRegData", {}, [](const PageHost& v, const Arguments&) -> MethodResult { return ReadRegData(v); }},
      {u"DeleteRegData",
       {},
       [](const PageHost& v, const Arguments&) -> MethodResult {
         DeleteRegData(v);
         return {};
       }},
      {u"LoginToChangePlugName",
       {},
       [](const PageHost& v, const Arguments&) -> MethodResult {
         try {
           LoginToChangePlugName(v.Install());
         } catch (const ManifestRenameError& e) {
           throw MethodFailure(DISP_E_EXCEPTION, e.what());
         }
         return {};
       }},
      {u"LogofToChangePlugName",
       {},
       [](const PageHost& v, const Arguments&) -> MethodResult {
         try {
           LogofToChangePlugName(v.Install());
         } catch (const ManifestRenameError& e) {
           throw MethodFailure(DISP_E_EXCEPTION, e.what());
         }
         return {};
       }},
      {u"RemovePlugfolder",
       {Text, Text},
       [](const PageHost& v, const Arguments& a) -> MethodResult { return RemovePlugfolder(v, a.Text(0), a.Text(1)); }},
      {u"OpenLinkNewWindow",
       {Text},
       [](const PageHost& v, const Arguments& a) -> MethodResult {
         OpenLinkNewWindow(v, a.Text(0));
         return {};
       }},
  };
  return methods;
}

// What window.wendrake offers installation pages.
const std::vector<MethodEntry>& ProgramMethods() {
  static const std::vector<MethodEntry> methods = {
      {u"GetSnapshots", {Text}, [](const PageHost& v, const Arguments& a) -> MethodResult { return GetSnapshots(v, a.Text(0)); }},
      {u"RestoreSnapshot",
       {Text, Text},
       [](const PageHost& v, const Arguments& a) -> MethodResult { return RestoreSnapshot(v, a.Text(0), a.Text(1)); }},
  };
  return methods;
}

const MethodEntry* EntryOf(std::int32_t memberId) {
  const bool program = ScriptBridge::IsProgramMember(memberId);
  const auto table = program ? ScriptBridge::ProgramTable() : ScriptBridge::Table();
  const std::int64_t position = std::int64_t{memberId} - (program ? kProgramMemberBase : 0);
  if (position < 1 || position > static_cast<std::int64_t>(table.size())) return nullptr;
  return &table[static_cast<size_t>(position - 1)];
}

}  // namespace

std::span<const MethodEntry> ScriptBridge::Table() { return Methods(); }
std::span<const MethodEntry> ScriptBridge::ProgramTable() { return ProgramMethods(); }

bool ScriptBridge::IsProgramMember(std::int32_t memberId) { return memberId > kProgramMemberBase; }

std::int32_t ScriptBridge::GetIDOfName(std::u16string_view name) {
  const auto table = Table();
  for (size_t i = 0; i < table.size(); ++i)
    if (EqualsIgnoreAsciiCase(table[i].name, name)) return static_cast<std::int32_t>(i + 1);
  return 0;
}

InvokeOutcome ScriptBridge::Invoke(const PageHost& view, std::int32_t memberId, const std::vector<PageValue>& arguments) {
  const MethodEntry* const entry = EntryOf(memberId);
  if (!entry) return {DISP_E_MEMBERNOTFOUND, {}};
  const MethodEntry& method = *entry;
  if (arguments.size() > method.parameters.size()) return {DISP_E_BADPARAMCOUNT, {}};
  if (arguments.size() < method.parameters.size()) return {DISP_E_PARAMNOTOPTIONAL, {}};

  std::vector<std::variant<std::u16string, std::int32_t>> converted;
  converted.reserve(arguments.size());
  for (size_t i = 0; i < arguments.size(); ++i) {
    HRESULT code;
    if (method.parameters[i] == ParamType::Text) {
      std::u16string text;
      code = ConvertToText(arguments[i], text);
      converted.emplace_back(std::move(text));
    } else {
      std::int32_t number = 0;
      code = ConvertToInteger(arguments[i], number);
      converted.emplace_back(number);
    }
    if (code != S_OK) return {code, {}};
  }

  try {
    return {S_OK, method.handler(view, Arguments(std::move(converted)))};
  } catch (const MethodFailure& failure) {
    return {failure.Code(), {}};
  }
}

InvokeOutcome ScriptBridge::Call(const PageHost& view, std::u16string_view name, const std::vector<PageValue>& arguments) {
  const std::int32_t memberId = GetIDOfName(name);
  if (memberId == 0) return {DISP_E_UNKNOWNNAME, {}};
  return Invoke(view, memberId, arguments);
}

}  // namespace wendrake
