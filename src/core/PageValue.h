#pragma once
// Values as they cross between pages and native code.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace wendrake {

struct Undefined {
  bool operator==(const Undefined&) const = default;
};
struct Null {
  bool operator==(const Null&) const = default;
};
// A script object passed to native code is seen through its text form.
struct ObjectValue {
  std::u16string text;
  bool operator==(const ObjectValue&) const = default;
};

// An argument value as page script passes it.
using PageValue = std::variant<Undefined, Null, bool, std::int32_t, double, std::u16string, ObjectValue>;

// What a page method gives back: nothing, an integer, a boolean, a text, or the
// list of texts of GetExistPlugin.
using MethodResult = std::variant<std::monostate, std::int32_t, bool, std::u16string, std::vector<std::u16string>>;

}  // namespace wendrake
