#pragma once
// The JSON that wendrakectl reads (typed arguments) and writes (one result line).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/PageValue.h"
#include "pagehost/HeadlessHost.h"

namespace wendrake {

// A JSON string; lone surrogates are kept as \u escapes, so no text is altered.
std::string JsonString(std::u16string_view text);
std::string JsonResult(const MethodResult& result);
std::string JsonEvent(const HostEvent& event);

// A JSON array as the values a page would pass: a whole number that fits in 32
// bits arrives as an integer, any other number as a double, an array or object
// as a script object. Nothing when the text is no JSON array.
std::optional<std::vector<PageValue>> PageValuesFromJson(std::string_view json);

}  // namespace wendrake
