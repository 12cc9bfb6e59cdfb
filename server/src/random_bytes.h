// Bytes from the system's random source: getrandom on Linux, RtlGenRandom on Windows.
#pragma once

#include <cstddef>

namespace qvbot {

// False when the system could not give them.
bool RandomBytes(void* buffer, std::size_t size);

}  // namespace qvbot
