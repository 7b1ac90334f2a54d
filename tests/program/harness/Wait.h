#pragma once
#include "support/RunUntil.h"

namespace wendrake::programtest {

using testing::RunUntil;

}  // namespace wendrake::programtest
