#include "core/HResult.h"

#include <array>
#include <utility>

namespace wendrake {

std::string_view HResultName(HRESULT code) {
  static constexpr std::array<std::pair<HRESULT, std::string_view>, 10> kNames{{
      {S_OK, "S_OK"},
      {E_NOTIMPL, "E_NOTIMPL"},
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

}  // namespace wendrake
