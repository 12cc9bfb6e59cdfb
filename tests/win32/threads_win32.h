#pragma once

// Threads for the test programs: the program's own (the toolchain's win32 thread model has no
// std::thread).

#include "platform/threads.h"

namespace quorvanel::testing {
using quorvanel::Mutex;
using quorvanel::Thread;
}  // namespace quorvanel::testing
