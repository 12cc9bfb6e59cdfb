#include "random_bytes.h"

#ifdef _WIN32
#include <windows.h>
// RtlGenRandom, exported by advapi32.dll from Windows XP on under this name.
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);
#else
#include <sys/random.h>

#include <cerrno>
#endif

namespace qvbot {

bool RandomBytes(void* buffer, std::size_t size) {
#ifdef _WIN32
    return SystemFunction036(buffer, static_cast<ULONG>(size)) != FALSE;
#else
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const ssize_t got = getrandom(bytes, size, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
#endif
}

}  // namespace qvbot
