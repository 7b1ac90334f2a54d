// The hive reader takes any bytes, and what it keeps survives a write and a read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "commands/RegistryHive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto hive = wendrake::RegistryHive::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string saved = hive.Serialize();
  if (wendrake::RegistryHive::Parse(saved).Serialize() != saved) std::abort();
  return 0;
}
