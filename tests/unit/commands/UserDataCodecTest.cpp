#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "commands/SettingsStore.h"
#include "core/Text.h"

namespace wendrake {
namespace {

using namespace std::string_literals;

bool CapitalsOnly(std::u16string_view text) {
  return std::ranges::all_of(text, [](char16_t c) { return c >= u'A' && c <= u'Z'; });
}

TEST(UserDataCodec, StoredFormKeepsHeadAndEncodesTail) {
  struct Case {
    std::u16string data, stored;
  };
  const Case cases[] = {
      {u"user^abc", u"user^ENEOEP"},
      {u"abc", u"ENEOEP"},
      {u"", u""},
      {u"ab^cd^ef", u"ab^EPEQEKERES"},  // only the first caret splits
      {u"^", u"^"},
      {u"\u00EC", u"KAOM"},  // the first unit past the pairs
      {u"a\u4F60", u"ENOPGA"},  // pair then group
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.data));
    EXPECT_EQ(ToStoredUserData(c.data), c.stored);
    EXPECT_EQ(FromStoredUserData(c.stored), c.data);
  }
}

TEST(UserDataCodec, UnitsBelow236KeepTheOldPairs) {
  for (char16_t u = 0; u < 236; ++u) {
    const unsigned v = (u + 20u) % 256;
    const std::u16string pair{static_cast<char16_t>(u'A' + v / 26), static_cast<char16_t>(u'A' + v % 26)};
    ASSERT_EQ(EncodeUserData(std::u16string(1, u)), pair) << "unit " << int(u);
  }
}

TEST(UserDataCodec, EveryCodeUnitComesBack) {
  std::u16string all;
  for (unsigned u = 0; u <= 0xFFFF; ++u) all.push_back(static_cast<char16_t>(u));
  const std::u16string encoded = EncodeUserData(all);
  EXPECT_TRUE(CapitalsOnly(encoded));
  EXPECT_EQ(DecodeUserData(encoded), all);
}

TEST(UserDataCodec, TextsRoundTripThroughTheStoredForm) {
  const std::u16string texts[] = {
      u"你好，世界^用户数据",
      u"smile \U0001F600 and \U0001F680^\U0001F44D",
      u"\u00EC\u00ED\u00FE\u00FF^\u00F0abc\u00EB",
      u"name^\xD800 lone \xDFFF surrogates",
      u"mixed^a\u00ECb\u4F60c\U0001F600d\xFFFF\0e"s,
      u"^^^",
  };
  for (const auto& text : texts) {
    SCOPED_TRACE(ToUtf8(text));
    const std::u16string stored = ToStoredUserData(text);
    const size_t caret = text.find(u'^');
    EXPECT_TRUE(CapitalsOnly(std::u16string_view(stored).substr(caret == std::u16string::npos ? 0 : caret + 1)));
    EXPECT_EQ(FromStoredUserData(stored), text);
  }
}

// Texts the old pair encoding wrote, or that were cut short, decode as they always did.
TEST(UserDataCodec, OldStoredTextsDecodeAsBefore) {
  struct Case {
    std::u16string stored, data;
  };
  const Case cases[] = {
      {u"user^ENEOEPE", u"user^abc"},  // odd length: the last letter is dropped
      {u"ENEOEPK", u"abc"},  // a lone group letter at the end too
      {u"ENKAO", u"a"},  // a group cut short
      {u"AA", u"\xFFEC"},  // below 20 wraps
      {u"AT", u"\xFFFF"},
      {u"AU", std::u16string(1, u'\0')},
      {u"JV", u"\u00EB"},
      {u"JW", u"\xFFEC"},  // v = 256
      {u"x^AAEN",
       u"x^\xFFEC"
       u"a"},
      {u"E", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.stored));
    EXPECT_EQ(FromStoredUserData(c.stored), c.data);
  }
}

}  // namespace
}  // namespace wendrake
