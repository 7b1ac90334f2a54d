#pragma once
// Page arguments converted to a method's declared types by the automation rules
// the pages were written against.
#include <cstdint>
#include <string>

#include "core/HResult.h"
#include "core/PageValue.h"

namespace wendrake {

HRESULT ConvertToText(const PageValue& value, std::u16string& text);
HRESULT ConvertToInteger(const PageValue& value, std::int32_t& number);

}  // namespace wendrake
