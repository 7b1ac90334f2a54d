#pragma once
// window.external: the table of page-callable methods, the lookup of their names
// and the conversion of their arguments; and window.wendrake, what the program
// offers installation pages beyond them. It does not depend on any browser: the
// desktop view, wendrakectl and the tests all call through it.
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/HResult.h"
#include "core/PageHost.h"
#include "core/PageValue.h"

namespace wendrake {

enum class ParamType { Text, Integer };

// Converted arguments, in the method's declared types.
class Arguments {
 public:
  explicit Arguments(std::vector<std::variant<std::u16string, std::int32_t>> values) : values_(std::move(values)) {}
  const std::u16string& Text(size_t index) const { return std::get<std::u16string>(values_.at(index)); }
  std::int32_t Integer(size_t index) const { return std::get<std::int32_t>(values_.at(index)); }

 private:
  std::vector<std::variant<std::u16string, std::int32_t>> values_;
};

// Thrown by a handler whose work failed in a way the page must see as an error.
class MethodFailure : public std::runtime_error {
 public:
  explicit MethodFailure(HRESULT code, const std::string& what = "page method failed") : std::runtime_error(what), code_(code) {}
  HRESULT Code() const { return code_; }

 private:
  HRESULT code_;
};

using MethodHandler = MethodResult (*)(const PageHost& view, const Arguments& arguments);

struct MethodEntry {
  std::u16string_view name;
  std::vector<ParamType> parameters;
  MethodHandler handler;
};

struct InvokeOutcome {
  HRESULT code = S_OK;
  MethodResult result;
};

// Member IDs of window.wendrake's methods follow this one, apart from window.external's.
inline constexpr std::int32_t kProgramMemberBase = 0x10000;

class ScriptBridge {
 public:
  // The methods in member-ID order: the ID of a method is its 1-based position.
  static std::span<const MethodEntry> Table();
  // window.wendrake's methods: the ID of one is kProgramMemberBase + its 1-based position.
  static std::span<const MethodEntry> ProgramTable();
  static bool IsProgramMember(std::int32_t memberId);

  // The member ID of a name, compared without regard to case; 0 when unknown.
  static std::int32_t GetIDOfName(std::u16string_view name);

  // Converts and counts the arguments, then runs the handler on the view.
  static InvokeOutcome Invoke(const PageHost& view, std::int32_t memberId, const std::vector<PageValue>& arguments);
  // Lookup and call of a window.external method in one, as a page makes it.
  static InvokeOutcome Call(const PageHost& view, std::u16string_view name, const std::vector<PageValue>& arguments);
};

}  // namespace wendrake
