#include "core/Uuid.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <random>
#include <sys/random.h>

namespace vokari {

std::string makeUuidString() {
    // Every identifier takes 122 fresh bits from the kernel: device identifiers must not collide across installs.
    std::array<std::uint8_t, 16> b{};
    std::size_t filled = 0;
    while (filled < b.size()) {
        ssize_t n = ::getrandom(b.data() + filled, b.size() - filled, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        filled += static_cast<std::size_t>(n);
    }
    if (filled < b.size()) {
        std::random_device rd; // getrandom unavailable: the library's own entropy source
        for (auto& byte : b) {
            byte = static_cast<std::uint8_t>(rd());
        }
    }
    b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);
    char out[37];
    std::snprintf(out, sizeof out, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                  b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return out;
}

} // namespace vokari
