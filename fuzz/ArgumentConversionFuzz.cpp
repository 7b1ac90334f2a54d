// Any value a page can pass, converted to either declared type.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "pagehost/ArgumentConversion.h"

namespace {

// The first byte picks the kind; the rest is the value's bytes.
wendrake::PageValue ValueOf(const std::uint8_t* data, std::size_t size) {
  using namespace wendrake;
  if (size == 0) return Undefined{};
  const std::uint8_t kind = data[0] % 7;
  ++data;
  --size;
  switch (kind) {
    case 0: return Undefined{};
    case 1: return Null{};
    case 2: return size > 0 && (data[0] & 1);
    case 3: {
      std::int32_t number = 0;
      std::memcpy(&number, data, std::min(size, sizeof number));
      return number;
    }
    case 4: {
      double number = 0;
      std::memcpy(&number, data, std::min(size, sizeof number));
      return number;
    }
    default: {
      std::u16string text(size / 2, u'\0');
      std::memcpy(text.data(), data, text.size() * 2);
      if (kind == 5) return text;
      return ObjectValue{text};
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const wendrake::PageValue value = ValueOf(data, size);
  std::u16string text;
  std::int32_t number = 0;
  wendrake::ConvertToText(value, text);
  wendrake::ConvertToInteger(value, number);
  return 0;
}
