// window.wendrake's methods through the bridge: their own member IDs, apart from
// window.external's, and the snapshots of an add-on listed and put back.
#include <gtest/gtest.h>

#include <filesystem>

#include "addons/SnapshotMethods.h"
#include "pagehost/ScriptBridge.h"
#include "support/BridgeFixture.h"

namespace wendrake {
namespace {

using testing::BridgeFixture;

std::int32_t ProgramId(std::u16string_view name) {
  const auto table = ScriptBridge::ProgramTable();
  for (size_t i = 0; i < table.size(); ++i)
    if (table[i].name == name) return kProgramMemberBase + static_cast<std::int32_t>(i + 1);
  return 0;
}

TEST(ProgramMethodTable, StandsApartFromWindowExternal) {
  for (const std::u16string_view name : {u"GetSnapshots", u"RestoreSnapshot"}) {
    const std::int32_t id = ProgramId(name);
    EXPECT_TRUE(ScriptBridge::IsProgramMember(id)) << "missing";
    EXPECT_EQ(ScriptBridge::GetIDOfName(name), 0) << "window.external must not know it";
  }
  for (const std::int32_t id : {1, 33, 34, kProgramMemberBase}) EXPECT_FALSE(ScriptBridge::IsProgramMember(id)) << id;
}

class ProgramMethods : public BridgeFixture {
 protected:
  ProgramMethods() : addOns(installation.MakeGameFolder() / "Interface" / "AddOns") {
    installation.WriteCatalog({"Alpha", "Beta"});
    installation.WriteFile("game/Interface/AddOns/Alpha/RiftAddon.txt", "## Title: Alpha");
    installation.WriteFile("game/Interface/AddOns/Beta/RiftAddon.txt", "## Title: Beta");
  }
  InvokeOutcome Program(std::u16string_view name, const std::vector<PageValue>& arguments) {
    return ScriptBridge::Invoke(view, ProgramId(name), arguments);
  }
  std::vector<std::u16string> Snapshots(const std::u16string& folder) {
    const InvokeOutcome outcome = Program(u"GetSnapshots", {folder});
    EXPECT_EQ(outcome.code, S_OK);
    return std::get<std::vector<std::u16string>>(outcome.result);
  }
  std::int32_t Restore(const std::u16string& folder, const std::u16string& id) {
    const InvokeOutcome outcome = Program(u"RestoreSnapshot", {folder, id});
    EXPECT_EQ(outcome.code, S_OK);
    return std::get<std::int32_t>(outcome.result);
  }
  std::int32_t Exists(const char16_t* pid) { return std::get<std::int32_t>(Result(u"IsExistPlugin", {std::u16string(pid)})); }

  std::filesystem::path addOns;
};

TEST_F(ProgramMethods, ARemovedAddOnIsListedAndPutBackWithItsItem) {
  ASSERT_EQ(std::get<std::int32_t>(Result(u"RemovePlugfolder", {std::u16string(u"Alpha"), std::u16string(u"1")})), 1);
  const auto listed = Snapshots(u"alpha");
  ASSERT_EQ(listed.size(), 6u);
  const std::u16string id = listed[0];
  EXPECT_EQ(listed[1], u"Alpha");
  EXPECT_GT(std::stoll(std::string(listed[2].begin(), listed[2].end())), 1'600'000'000'000) << "milliseconds since 1970";
  EXPECT_EQ(std::vector(listed.begin() + 3, listed.end()), (std::vector<std::u16string>{u"1", u"1", u"1.0"}));
  EXPECT_EQ(Snapshots(u""), listed) << "every add-on's";
  EXPECT_TRUE(Snapshots(u"Beta").empty());

  // Only that add-on's snapshot, by an id that is one of them, is put back.
  EXPECT_EQ(Restore(u"Beta", id), kNoSuchSnapshot);
  EXPECT_EQ(Restore(u"Alpha", u"../" + id), kNoSuchSnapshot);
  EXPECT_EQ(Restore(u"Alpha", id + std::u16string(1, u'\0') + u"x"), kNoSuchSnapshot);
  EXPECT_EQ(Restore(u"Alpha", u""), kNoSuchSnapshot);
  EXPECT_FALSE(std::filesystem::exists(addOns / "Alpha"));
  EXPECT_EQ(Exists(u"1"), 0);

  EXPECT_EQ(Restore(u"ALPHA", id), kRestored);
  EXPECT_EQ(installation.ReadFile("game/Interface/AddOns/Alpha/RiftAddon.txt"), "## Title: Alpha");
  EXPECT_EQ(Exists(u"1"), 1);
  EXPECT_TRUE(Snapshots(u"Alpha").empty()) << "the restored snapshot is the add-on again";
  EXPECT_EQ(Restore(u"Alpha", id), kNoSuchSnapshot);
}

TEST_F(ProgramMethods, WithoutTheGameFolderNothingIsPutBack) {
  ASSERT_EQ(std::get<std::int32_t>(Result(u"RemovePlugfolder", {std::u16string(u"Beta"), std::u16string(u"2")})), 1);
  const std::u16string id = Snapshots(u"Beta").at(0);
  installation.WriteHive({});
  EXPECT_EQ(Restore(u"Beta", id), kNoAddOnFolder);
  EXPECT_EQ(Snapshots(u"Beta").at(0), id) << "still there to restore later";
}

TEST_F(ProgramMethods, WrongArgumentsAreRefusedLikeAnyPageCall) {
  struct Case {
    std::u16string_view method;
    std::vector<PageValue> arguments;
    HRESULT code;
  };
  const Case cases[] = {
      {u"GetSnapshots", {}, DISP_E_PARAMNOTOPTIONAL},
      {u"GetSnapshots", {std::u16string(u"a"), std::u16string(u"b")}, DISP_E_BADPARAMCOUNT},
      {u"RestoreSnapshot", {std::u16string(u"Alpha")}, DISP_E_PARAMNOTOPTIONAL},
      {u"RestoreSnapshot", {Null{}, std::u16string(u"x")}, DISP_E_TYPEMISMATCH},
  };
  for (const Case& c : cases) EXPECT_EQ(Program(c.method, c.arguments).code, c.code) << std::string(c.method.begin(), c.method.end());
  EXPECT_EQ(ScriptBridge::Invoke(view, kProgramMemberBase + 1000, {}).code, DISP_E_MEMBERNOTFOUND);
}

}  // namespace
}  // namespace wendrake
