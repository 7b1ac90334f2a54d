#include "pagehost/ArgumentConversion.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "core/Text.h"

namespace wendrake {
namespace {

constexpr double kIntegerLow = -2147483648.5;
constexpr double kIntegerHigh = 2147483647.5;

// Numbers become integers rounded half to even, as automation does.
HRESULT RoundToInteger(double value, std::int32_t& number) {
  if (std::isnan(value) || value < kIntegerLow || value >= kIntegerHigh) return DISP_E_OVERFLOW;
  number = static_cast<std::int32_t>(std::nearbyint(value));
  return S_OK;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == 0x3000; }
bool IsDigit(char16_t c, int base) {
  if (base == 16) return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
  return c >= u'0' && c < u'0' + base;
}
int DigitValue(char16_t c) { return c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10; }

// Number texts as automation reads them: blanks around, a sign before or after,
// parentheses for negative, thousands separators, a decimal point, an exponent,
// and &H / &O for hexadecimal and octal.
HRESULT ParseNumber(std::u16string_view text, std::int32_t& number) {
  size_t i = 0, end = text.size();
  while (i < end && IsBlank(text[i])) ++i;
  while (end > i && IsBlank(text[end - 1])) --end;
  text = text.substr(i, end - i);
  if (text.empty()) return DISP_E_TYPEMISMATCH;

  if (text.size() > 2 && text[0] == u'&' && (AsciiLower(text[1]) == u'h' || AsciiLower(text[1]) == u'o')) {
    const int base = AsciiLower(text[1]) == u'h' ? 16 : 8;
    std::uint64_t value = 0;
    for (char16_t c : text.substr(2)) {
      if (!IsDigit(c, base)) return DISP_E_TYPEMISMATCH;
      value = value * base + DigitValue(c);
      if (value > 0xFFFFFFFFull) return DISP_E_OVERFLOW;
    }
    number = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    return S_OK;
  }

  bool negative = false;
  if (text.front() == u'(' && text.back() == u')') {
    negative = true;
    text = text.substr(1, text.size() - 2);
  } else if (text.front() == u'+' || text.front() == u'-') {
    negative = text.front() == u'-';
    text.remove_prefix(1);
  } else if (text.back() == u'+' || text.back() == u'-') {
    negative = text.back() == u'-';
    text.remove_suffix(1);
  }

  std::string plain;  // digits, point and exponent for strtod
  bool digits = false, point = false;
  size_t k = 0;
  for (; k < text.size(); ++k) {
    const char16_t c = text[k];
    if (IsDigit(c, 10)) {
      plain.push_back(static_cast<char>(c));
      digits = true;
    } else if (c == u',' && digits && !point) {
      continue;
    } else if (c == u'.' && !point) {
      plain.push_back('.');
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return DISP_E_TYPEMISMATCH;
  if (k < text.size() && AsciiLower(text[k]) == u'e') {
    plain.push_back('e');
    ++k;
    if (k < text.size() && (text[k] == u'+' || text[k] == u'-')) plain.push_back(static_cast<char>(text[k++]));
    const size_t exponentStart = k;
    while (k < text.size() && IsDigit(text[k], 10)) plain.push_back(static_cast<char>(text[k++]));
    if (k == exponentStart) return DISP_E_TYPEMISMATCH;
  }
  if (k != text.size()) return DISP_E_TYPEMISMATCH;
  const double value = std::strtod(plain.c_str(), nullptr);
  return RoundToInteger(negative ? -value : value, number);
}

std::u16string FormatDouble(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  return ToUtf16(buffer);
}

}  // namespace

HRESULT ConvertToText(const PageValue& value, std::u16string& text) {
  struct Visitor {
    std::u16string& text;
    HRESULT operator()(Undefined) const {
      text.clear();
      return S_OK;
    }
    HRESULT operator()(Null) const { return DISP_E_TYPEMISMATCH; }
    // Without the alphabetic flag, automation writes booleans as numbers.
    HRESULT operator()(bool b) const {
      text = b ? u"-1" : u"0";
      return S_OK;
    }
    HRESULT operator()(std::int32_t n) const {
      text = ToUtf16(std::to_string(n));
      return S_OK;
    }
    HRESULT operator()(double d) const {
      text = FormatDouble(d);
      return S_OK;
    }
    HRESULT operator()(const std::u16string& s) const {
      text = s;
      return S_OK;
    }
    HRESULT operator()(const ObjectValue& o) const {
      text = o.text;
      return S_OK;
    }
  };
  return std::visit(Visitor{text}, value);
}

HRESULT ConvertToInteger(const PageValue& value, std::int32_t& number) {
  struct Visitor {
    std::int32_t& number;
    HRESULT operator()(Undefined) const {
      number = 0;
      return S_OK;
    }
    HRESULT operator()(Null) const { return DISP_E_TYPEMISMATCH; }
    HRESULT operator()(bool b) const {
      number = b ? -1 : 0;
      return S_OK;
    }
    HRESULT operator()(std::int32_t n) const {
      number = n;
      return S_OK;
    }
    HRESULT operator()(double d) const { return RoundToInteger(d, number); }
    HRESULT operator()(const std::u16string& s) const { return ParseNumber(s, number); }
    HRESULT operator()(const ObjectValue& o) const { return ParseNumber(o.text, number); }
  };
  return std::visit(Visitor{number}, value);
}

}  // namespace wendrake
