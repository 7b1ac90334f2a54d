#include "commands/SettingsStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/Text.h"
#include "support/TempInstallation.h"
#include "support/WithoutFileOverride.h"

namespace wendrake {
namespace {

using namespace std::string_literals;
using testing::TempInstallation;
using testing::WithoutFileOverride;

class SettingsStoreTest : public ::testing::Test {
 protected:
  std::optional<std::u16string> Query(std::u16string_view name) const { return OpenSettingsKey(tree.Install()).QueryValue(name); }
  bool Set(std::u16string_view name, std::u16string_view text) const { return OpenSettingsKey(tree.Install()).SetValue(name, text); }
  std::string Hive() const { return tree.ReadFile("registry.reg"); }
  void Chmod(const std::filesystem::path& path, mode_t mode) const { ASSERT_EQ(::chmod(path.c_str(), mode), 0); }

  TempInstallation tree;
};

TEST_F(SettingsStoreTest, ReadsWritesAndDeletesThroughANewKeyEachTime) {
  tree.WriteHive({{"Home", "/opt/wendrake"}, {"Version", "1.2.3"}});

  EXPECT_EQ(Query(u"Home"), u"/opt/wendrake");
  EXPECT_EQ(Query(u"version"), u"1.2.3");  // names ignore case
  EXPECT_EQ(Query(u"Skin"), std::nullopt);

  EXPECT_TRUE(Set(u"Skin", u"2"));
  EXPECT_TRUE(Set(u"SKIN", u"3"));
  EXPECT_EQ(Query(u"Skin"), u"3");
  EXPECT_NE(Hive().find("\"Skin\"=\"3\"\r\n"), std::string::npos) << Hive();

  EXPECT_TRUE(OpenSettingsKey(tree.Install()).DeleteValue(u"Skin"));
  EXPECT_FALSE(OpenSettingsKey(tree.Install()).DeleteValue(u"Skin"));
  EXPECT_EQ(Query(u"Skin"), std::nullopt);
  EXPECT_EQ(Query(u"Home"), u"/opt/wendrake");
  EXPECT_TRUE(Hive().starts_with("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wendrake]\r\n"));
}

TEST_F(SettingsStoreTest, CRegistryReadLeavesTheTextAloneOnFailure) {
  tree.WriteHive({{"Version", "7"}, {"Data", ""}});
  CRegistry registry(OpenSettingsKey(tree.Install()));
  std::u16string text = u"before";
  EXPECT_FALSE(registry.Read(u"Missing", text));
  EXPECT_EQ(text, u"before");
  EXPECT_TRUE(registry.Read(u"Version", text));
  EXPECT_EQ(text, u"7");
  EXPECT_TRUE(registry.Read(u"Data", text));
  EXPECT_EQ(text, u"");

  registry.Close();
  text = u"before";
  EXPECT_FALSE(registry.Read(u"Version", text));
  EXPECT_EQ(text, u"before");
}

TEST_F(SettingsStoreTest, AClosedOrNoneKeyDoesNothing) {
  tree.WriteHive({{"Home", "h"}});
  const std::string before = Hive();
  RegistryKey closed = OpenSettingsKey(tree.Install());
  ASSERT_TRUE(closed.IsOpen());
  closed.Close();
  for (const RegistryKey& key : {RegistryKey(), closed}) {
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.QueryValue(u"Home"), std::nullopt);
    EXPECT_FALSE(key.SetValue(u"Home", u"x"));
    EXPECT_FALSE(key.DeleteValue(u"Home"));
    EXPECT_FALSE(key.OpenSubKey(u"").IsOpen());
    EXPECT_FALSE(key.CreateSubKey(u"Software\\Wendrake").IsOpen());
  }
  EXPECT_EQ(Hive(), before);
}

TEST_F(SettingsStoreTest, KeyPathsIgnoreCaseAndTheThirtyTwoBitAlias) {
  tree.WriteHive({{"Home", "h"}});
  const RegistryKey root = RegistryKey::LocalMachine(tree.Install().HivePath());
  for (std::u16string_view path : {u"Software\\Wendrake", u"SOFTWARE\\wendrake", u"Software\\Wow6432Node\\Wendrake", u"Software"}) {
    EXPECT_TRUE(root.OpenSubKey(path).IsOpen()) << ToUtf8(path);
  }
  EXPECT_EQ(root.OpenSubKey(u"Software").OpenSubKey(u"Wendrake").QueryValue(u"Home"), u"h");
  EXPECT_FALSE(root.OpenSubKey(u"Software\\Other").IsOpen());
  EXPECT_FALSE(root.SetValue(u"Home", u"x"));  // the root holds no values
}

TEST_F(SettingsStoreTest, GamePathWrittenThroughTheAliasIsFoundByTheSettingsKey) {
  struct Case {
    const char* name;
    bool hiveExists;
  };
  for (const Case c : {Case{"missing hive", false}, Case{"existing hive", true}}) {
    SCOPED_TRACE(c.name);
    TempInstallation fresh;
    if (c.hiveExists) fresh.WriteHive({{"Home", "h"}});
    CRegistry registry(RegistryKey::LocalMachine(fresh.Install().HivePath()));
    ASSERT_TRUE(registry.Create(kWow64SettingsKeyPath));
    EXPECT_TRUE(registry.Key.SetValue(SettingsValue::OsmarGamePath, u"/games/riftpatchchinese.exe"));
    registry.Close();

    const RegistryKey settings = OpenSettingsKey(fresh.Install());
    EXPECT_EQ(settings.QueryValue(SettingsValue::OsmarGamePath), u"/games/riftpatchchinese.exe");
    EXPECT_EQ(settings.QueryValue(SettingsValue::Home), c.hiveExists ? std::optional(u"h"s) : std::nullopt);
    const std::string hive = fresh.ReadFile("registry.reg");
    EXPECT_TRUE(hive.starts_with("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wendrake]\r\n")) << hive;
    EXPECT_EQ(hive.find("Wow6432Node"), std::string::npos) << hive;
  }
}

TEST_F(SettingsStoreTest, ReadsAUtf16HiveAndRewritesItAsUtf8) {
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Wendrake]\r\n"
      u"\"Home\"=\"C:\\\\游戏\"\r\n\"Skin\"=dword:00000032\r\n\r\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  tree.WriteFile("registry.reg", bytes);

  EXPECT_EQ(Query(u"Home"), u"C:\\游戏");
  EXPECT_EQ(Query(u"Skin"), u"2");
  ASSERT_TRUE(Set(u"Data", u"d"));
  EXPECT_EQ(Hive(),
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Wendrake]\r\n"
            "\"Home\"=\"C:\\\\游戏\"\r\n\"Skin\"=dword:00000032\r\n\"Data\"=\"d\"\r\n\r\n");
}

TEST_F(SettingsStoreTest, AHiveWeMayNotWriteCannotBeOpened) {
  struct Case {
    const char* name;
    const char* hiveKey;  // nullptr: no hive file
    mode_t hiveMode;
    mode_t rootMode;
    bool opens;
    bool createSucceeds;
    bool writes;
  };
  const Case cases[] = {
      {"missing hive", nullptr, 0, 0755, false, true, true},
      {"missing hive, root write-protected", nullptr, 0, 0555, false, false, false},
      {"write-protected hive", "Software\\Wendrake", 0444, 0755, false, false, false},
      {"unreadable hive", "Software\\Wendrake", 0222, 0755, false, false, false},
      {"hive without the key", "Software\\Other", 0644, 0755, false, true, true},
      // Opens, but the atomic replace needs the folder: writes fail and say so.
      {"writable hive, root write-protected", "Software\\Wendrake", 0644, 0555, true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempInstallation fresh;
    const auto hive = fresh.Install().HivePath();
    std::string before;
    if (c.hiveKey) {
      before = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\"s + c.hiveKey + "]\r\n\"Home\"=\"h\"\r\n";
      fresh.WriteFile("registry.reg", before);
      ASSERT_EQ(::chmod(hive.c_str(), c.hiveMode), 0);
    }
    ASSERT_EQ(::chmod(fresh.Root().c_str(), c.rootMode), 0);
    {
      WithoutFileOverride asAUser;
      EXPECT_EQ(OpenSettingsKey(fresh.Install()).IsOpen(), c.opens);
      const RegistryKey created = RegistryKey::LocalMachine(hive).CreateSubKey(kSettingsKeyPath);
      EXPECT_EQ(created.IsOpen(), c.createSucceeds);
      EXPECT_EQ(OpenSettingsKey(fresh.Install()).SetValue(u"Skin", u"1"), c.writes);
      EXPECT_EQ(OpenSettingsKey(fresh.Install()).QueryValue(u"Skin"), c.writes ? std::optional(u"1"s) : std::nullopt);
    }
    ASSERT_EQ(::chmod(fresh.Root().c_str(), 0755), 0);
    if (!c.writes) {
      EXPECT_EQ(std::filesystem::exists(hive), c.hiveKey != nullptr);
      if (c.hiveKey) {
        ASSERT_EQ(::chmod(hive.c_str(), 0644), 0);
        EXPECT_EQ(fresh.ReadFile("registry.reg"), before);
      }
    } else if (c.hiveKey) {
      EXPECT_NE(fresh.ReadFile("registry.reg").find("\"Home\"=\"h\""), std::string::npos);
    }
  }
}

TEST_F(SettingsStoreTest, AWriteFailsWhenTheHiveTurnedReadOnlyOrLostTheKey) {
  tree.WriteHive({{"Home", "h"}});
  const RegistryKey key = OpenSettingsKey(tree.Install());
  ASSERT_TRUE(key.IsOpen());
  Chmod(tree.Install().HivePath(), 0444);
  {
    WithoutFileOverride asAUser;
    EXPECT_FALSE(key.SetValue(u"Skin", u"1"));
    EXPECT_FALSE(key.DeleteValue(u"Home"));
    EXPECT_EQ(key.QueryValue(u"Home"), u"h");  // reading needs no write access
  }
  Chmod(tree.Install().HivePath(), 0644);
  EXPECT_EQ(Query(u"Skin"), std::nullopt);

  tree.WriteFile("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n");
  EXPECT_EQ(key.QueryValue(u"Home"), std::nullopt);
  EXPECT_FALSE(key.SetValue(u"Skin", u"1"));
  std::filesystem::remove(tree.Install().HivePath());
  EXPECT_FALSE(key.SetValue(u"Skin", u"1"));
  EXPECT_FALSE(std::filesystem::exists(tree.Install().HivePath()));
}

TEST_F(SettingsStoreTest, AMalformedHiveKeepsWhatCanBeReadAcrossAWrite) {
  // No header, junk, an unterminated string and a broken hex list among good values.
  tree.WriteFile("registry.reg",
                 "some junk\n[HKEY_LOCAL_MACHINE\\Software\\Wendrake]\n\"Home\"=\"/opt/w\"\n\"Skin\"=\"1\n"
                 "\"Version\"=\"2.0\"\n\"Data\"=hex:zz\n=\"\"\n\"PluginPath\"=\"/game/\"\n[HKEY_CURRENT_USER\\Keep]\n\"K\"=hex:01,02\n");
  EXPECT_EQ(Query(u"Home"), u"/opt/w");
  EXPECT_EQ(Query(u"Skin"), std::nullopt);
  ASSERT_TRUE(Set(u"Data", u"d"));

  for (const auto& [name, text] : std::vector<std::pair<std::u16string, std::u16string>>{
           {u"Home", u"/opt/w"}, {u"Version", u"2.0"}, {u"PluginPath", u"/game/"}, {u"Data", u"d"}})
    EXPECT_EQ(Query(name), text) << ToUtf8(name);
  EXPECT_NE(Hive().find("[HKEY_CURRENT_USER\\Keep]\r\n\"K\"=hex:01,02\r\n"), std::string::npos) << Hive();
  EXPECT_EQ(Hive().find("junk"), std::string::npos);
}

TEST_F(SettingsStoreTest, AnyTextComesBackAsItWasWritten) {
  tree.WriteHive({{"Home", "h"}});
  const std::u16string texts[] = {
      u"",
      u"C:\\Games\\\"Rift\"\\",
      u"line one\r\nline two\n",
      u"lone \xD800 and \xDFFF surrogates",
      u"你好 \U0001F600",
      u"user^ENEOEP",
      std::u16string(100, u'x'),
      std::u16string(100000, u'y'),
  };
  for (const auto& text : texts) {
    SCOPED_TRACE(ToUtf8(text.substr(0, 40)));
    ASSERT_TRUE(Set(SettingsValue::Data, text));
    EXPECT_EQ(Query(SettingsValue::Data), text);
    EXPECT_EQ(Query(SettingsValue::Home), u"h");
  }
  // A value's text ends at its first NUL, as the registry reads a string, so a
  // text holding one would come back cut short: it is refused, and the value stays.
  ASSERT_FALSE(Set(SettingsValue::Data, u"before\0after"s));
  EXPECT_EQ(Query(SettingsValue::Data), texts[std::size(texts) - 1]);
}

TEST_F(SettingsStoreTest, ThreeProcessesWritingAtOnceLoseNothing) {
  tree.WriteHive({{"Home", "h"}});
  constexpr int kWrites = 50;
  std::vector<pid_t> children;
  for (const char16_t writer : {u'A', u'B', u'C'}) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kWrites; ++i) {
        const std::u16string name = writer + ToUtf16(std::to_string(i));
        if (!OpenSettingsKey(tree.Install()).SetValue(name, name + u" value")) ++failures;
      }
      ::_exit(failures);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }
  const RegistryKey key = OpenSettingsKey(tree.Install());
  for (const char16_t writer : {u'A', u'B', u'C'})
    for (int i = 0; i < kWrites; ++i) {
      const std::u16string name = writer + ToUtf16(std::to_string(i));
      EXPECT_EQ(key.QueryValue(name), name + u" value") << ToUtf8(name);
    }
  EXPECT_EQ(key.QueryValue(u"Home"), u"h");
}

}  // namespace
}  // namespace wendrake
