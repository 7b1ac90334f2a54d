#include "support/WithoutFileOverride.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace wendrake::testing {
namespace {

constexpr unsigned kOverrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);

bool Capabilities(__user_cap_data_struct (&data)[2], bool set) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return ::syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}

}  // namespace

WithoutFileOverride::WithoutFileOverride() {
  __user_cap_data_struct data[2]{};
  if (!Capabilities(data, false)) return;
  saved_ = data[0].effective;
  data[0].effective &= ~kOverrides;
  changed_ = Capabilities(data, true);
}

WithoutFileOverride::~WithoutFileOverride() {
  if (!changed_) return;
  __user_cap_data_struct data[2]{};
  if (!Capabilities(data, false)) return;
  data[0].effective = saved_;
  Capabilities(data, true);
}

}  // namespace wendrake::testing
