#include "ctl/JsonText.h"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "core/Text.h"

namespace wendrake {
namespace {

std::string JsonStringList(const std::vector<std::u16string>& texts) {
  std::string out = "[";
  for (size_t i = 0; i < texts.size(); ++i) out += (i ? ", " : "") + JsonString(texts[i]);
  return out + "]";
}

// How script shows a value as text, for arrays and objects handed to a method.
std::u16string ScriptText(const nlohmann::json& value) {
  if (value.is_object()) return u"[object Object]";
  if (value.is_array()) {
    std::u16string joined;
    for (size_t i = 0; i < value.size(); ++i) {
      if (i) joined += u',';
      if (!value[i].is_null()) joined += ScriptText(value[i]);
    }
    return joined;
  }
  if (value.is_string()) return ToUtf16(value.get<std::string>());
  if (value.is_boolean()) return value.get<bool>() ? u"true" : u"false";
  if (value.is_null()) return u"null";
  return ToUtf16(value.dump());
}

PageValue ToPageValue(const nlohmann::json& value) {
  if (value.is_null()) return Null{};
  if (value.is_boolean()) return value.get<bool>();
  if (value.is_string()) return ToUtf16(value.get<std::string>());
  if (value.is_number()) {
    const double number = value.get<double>();
    if (std::trunc(number) == number && number >= INT32_MIN && number <= INT32_MAX) return static_cast<std::int32_t>(number);
    return number;
  }
  return ObjectValue{ScriptText(value)};
}

}  // namespace

std::string JsonString(std::u16string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (pair) {
      out += ToUtf8(text.substr(i, 2));
      ++i;
    } else if (c == u'"' || c == u'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    } else {
      out += ToUtf8(text.substr(i, 1));
    }
  }
  return out + "\"";
}

std::string JsonResult(const MethodResult& result) {
  struct Visitor {
    std::string operator()(std::monostate) const { return "null"; }
    std::string operator()(std::int32_t n) const { return std::to_string(n); }
    std::string operator()(bool b) const { return b ? "true" : "false"; }
    std::string operator()(const std::u16string& s) const { return JsonString(s); }
    std::string operator()(const std::vector<std::u16string>& list) const { return JsonStringList(list); }
  };
  return std::visit(Visitor{}, result);
}

std::string JsonEvent(const HostEvent& event) {
  struct Visitor {
    std::string operator()(const MessageBoxEvent& e) const { return "{\"msgbox\": " + JsonString(e.code) + "}"; }
    std::string operator()(const PageCallEvent& e) const {
      return "{\"page\": " + JsonString(e.function) + ", \"args\": " + JsonStringList(e.arguments) + ", \"ok\": " + (e.ok ? "true" : "false") + "}";
    }
    std::string operator()(const OpenEvent& e) const {
      std::string json = "{\"open\": " + JsonString(e.target) + ", \"started\": " + (e.started ? "true" : "false");
      if (!e.start.commandLine.empty()) {
        std::vector<std::u16string> words;
        for (const auto& word : e.start.commandLine) words.push_back(ToUtf16(word));
        json += ", \"command\": " + JsonStringList(words) + ", \"directory\": " + JsonString(ToUtf16(e.start.workingDirectory)) +
                ", \"WINEPREFIX\": " + (e.start.winePrefix.empty() ? "null" : JsonString(ToUtf16(e.start.winePrefix)));
      } else if (!e.start.handler.empty()) {
        json += ", \"handler\": " + JsonString(ToUtf16(e.start.handler));
      }
      return json + "}";
    }
    std::string operator()(const WindowEvent& e) const { return "{\"window\": \"" + e.command + "\"}"; }
    std::string operator()(const DialogEvent& e) const {
      return "{\"dialog\": " + JsonString(ToUtf16(e.request.address)) + ", \"width\": " + std::to_string(e.request.width) +
             ", \"height\": " + std::to_string(e.request.height) + ", \"message\": " + JsonString(e.request.message) + "}";
    }
  };
  return std::visit(Visitor{}, event);
}

std::optional<std::vector<PageValue>> PageValuesFromJson(std::string_view json) {
  // Arrays and objects within arguments are shown as script shows them, a walk as
  // deep as their nesting: a nesting no page could mean is refused before it.
  constexpr int kMaxNesting = 64;
  bool tooDeep = false;
  const auto parsed = nlohmann::json::parse(
      json, [&](int depth, nlohmann::json::parse_event_t, nlohmann::json&) { return !(tooDeep = tooDeep || depth > kMaxNesting); }, false);
  if (tooDeep || parsed.is_discarded() || !parsed.is_array()) return std::nullopt;
  std::vector<PageValue> values;
  for (const auto& value : parsed) values.push_back(ToPageValue(value));
  return values;
}

}  // namespace wendrake
