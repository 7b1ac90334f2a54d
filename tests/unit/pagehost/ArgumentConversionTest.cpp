#include "pagehost/ArgumentConversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace wendrake {
namespace {

struct TextCase {
  PageValue value;
  HRESULT code;
  std::u16string text;
};

TEST(ArgumentConversion, ToTextFollowsTheAutomationRules) {
  const TextCase cases[] = {
      {Undefined{}, S_OK, u""},
      {Null{}, DISP_E_TYPEMISMATCH, u""},
      {true, S_OK, u"-1"},
      {false, S_OK, u"0"},
      {std::int32_t{42}, S_OK, u"42"},
      {std::int32_t{-7}, S_OK, u"-7"},
      {1.5, S_OK, u"1.5"},
      {0.1 + 0.2, S_OK, u"0.3"},
      {1e21, S_OK, u"1E+21"},
      {std::u16string(u"用户^\U0001F600"), S_OK, u"用户^\U0001F600"},
      {ObjectValue{u"[object Object]"}, S_OK, u"[object Object]"},
  };
  for (const auto& c : cases) {
    std::u16string text;
    EXPECT_EQ(ConvertToText(c.value, text), c.code) << "case index " << (&c - cases);
    if (c.code == S_OK) {
      EXPECT_EQ(text, c.text) << "case index " << (&c - cases);
    }
  }
}

struct IntegerCase {
  PageValue value;
  HRESULT code;
  std::int32_t number;
};

TEST(ArgumentConversion, ToIntegerFollowsTheAutomationRules) {
  const IntegerCase cases[] = {
      {Undefined{}, S_OK, 0},
      {Null{}, DISP_E_TYPEMISMATCH, 0},
      {true, S_OK, -1},
      {false, S_OK, 0},
      {std::int32_t{-5}, S_OK, -5},
      // Halves round to even.
      {2.5, S_OK, 2},
      {3.5, S_OK, 4},
      {-2.5, S_OK, -2},
      {2147483647.4, S_OK, 2147483647},
      {2147483647.5, DISP_E_OVERFLOW, 0},
      {-2147483648.5, S_OK, -2147483647 - 1},
      {-2147483649.0, DISP_E_OVERFLOW, 0},
      {std::numeric_limits<double>::infinity(), DISP_E_OVERFLOW, 0},
      {std::nan(""), DISP_E_OVERFLOW, 0},
      {std::u16string(u"1"), S_OK, 1},
      {std::u16string(u" 12 "), S_OK, 12},
      {std::u16string(u"+5"), S_OK, 5},
      {std::u16string(u"5-"), S_OK, -5},
      {std::u16string(u"(7)"), S_OK, -7},
      {std::u16string(u"1,000"), S_OK, 1000},
      {std::u16string(u"2.5"), S_OK, 2},
      {std::u16string(u"1e3"), S_OK, 1000},
      {std::u16string(u"&HFF"), S_OK, 255},
      {std::u16string(u"&o17"), S_OK, 15},
      {std::u16string(u"&HFFFFFFFF"), S_OK, -1},
      {std::u16string(u"&H100000000"), DISP_E_OVERFLOW, 0},
      {std::u16string(u"-2147483648"), S_OK, -2147483647 - 1},
      {std::u16string(u"2147483648"), DISP_E_OVERFLOW, 0},
      {std::u16string(u""), DISP_E_TYPEMISMATCH, 0},
      {std::u16string(u"   "), DISP_E_TYPEMISMATCH, 0},
      {std::u16string(u"abc"), DISP_E_TYPEMISMATCH, 0},
      {std::u16string(u"12abc"), DISP_E_TYPEMISMATCH, 0},
      {std::u16string(u"1e"), DISP_E_TYPEMISMATCH, 0},
      {std::u16string(u"--1"), DISP_E_TYPEMISMATCH, 0},
      {ObjectValue{u"[object Object]"}, DISP_E_TYPEMISMATCH, 0},
  };
  for (const auto& c : cases) {
    std::int32_t number = 0;
    EXPECT_EQ(ConvertToInteger(c.value, number), c.code) << "case index " << (&c - cases);
    if (c.code == S_OK) {
      EXPECT_EQ(number, c.number) << "case index " << (&c - cases);
    }
  }
}

}  // namespace
}  // namespace wendrake
