#include "ui/CapsuleTimerText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vokari {

CapsuleTimerText capsuleTimerText(double elapsed, double maxDuration) {
    char buffer[32];
    if (maxDuration > 0 && maxDuration - elapsed <= 30) {
        const double remaining = std::max(0.0, std::trunc(maxDuration - elapsed));
        std::snprintf(buffer, sizeof buffer, "0:%02d", static_cast<int>(remaining));
        return {buffer, capsuleColors::countdown};
    }
    // A clock that went backwards must not print "-1:59".
    const long long secs = elapsed > 0 ? static_cast<long long>(elapsed) : 0;
    std::snprintf(buffer, sizeof buffer, "%lld:%02lld", secs / 60, secs % 60);
    return {buffer, capsuleColors::timer};
}

} // namespace vokari
