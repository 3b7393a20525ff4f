#include "core/WallClock.h"

namespace vokari {

SystemWallClock& SystemWallClock::instance() {
    static SystemWallClock clock;
    return clock;
}

} // namespace vokari
