#include "core/HResult.h"

#include <array>
#include <utility>

namespace wendrake {

std::string_view HResultName(HRESULT code) {
  static constexpr std::array<std::pair<HRESULT, std::string_view>, 10> kNames{{
      {S_OK, "S_OK"},
      {E_FAIL, "E_FAIL"},
      {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND"},
      {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH"},
      {DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME"},
      {DISP_E_NONAMEDARGS, "DISP_E_NONAMEDARGS"},
      {DISP_E_EXCEPTION, "DISP_E_EXCEPTION"},
      {DISP_E_OVERFLOW, "DISP_E_OVERFLOW"},
      {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT"},
      {DISP_E_PARAMNOTOPTIONAL, "DISP_E_PARAMNOTOPTIONAL"},
  }};
  for (const auto& [value, name] : kNames)
    if (value == code) return name;
  return {};
}

std::u16string_view SystemText(HRESULT code) {
  static constexpr std::array<std::pair<HRESULT, std::u16string_view>, 10> kTexts{{
      {E_FAIL, u"未指定的错误\r\n"},
      {DISP_E_MEMBERNOTFOUND, u"找不到成员。\r\n"},
      {DISP_E_TYPEMISMATCH, u"类型不匹配。\r\n"},
      {DISP_E_UNKNOWNNAME, u"未知名称。\r\n"},
      {DISP_E_NONAMEDARGS, u"不支持已命名的参数。\r\n"},
      {DISP_E_EXCEPTION, u"发生意外。\r\n"},
      {DISP_E_OVERFLOW, u"超出当前范围。\r\n"},
      {DISP_E_BADPARAMCOUNT, u"无效的参数数目。\r\n"},
      {DISP_E_PARAMNOTOPTIONAL, u"参数不是可选的。\r\n"},
      {S_OK, u"操作成功完成。\r\n"},
  }};
  for (const auto& [value, text] : kTexts)
    if (value == code) return text;
  return {};
}

}  // namespace wendrake
