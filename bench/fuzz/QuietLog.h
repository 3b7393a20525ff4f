#pragma once
// The app's log lines go nowhere during fuzzing: no console output, no log files.
#include "core/DebugLog.h"

namespace vokari::fuzz {

inline void quietLog() {
    static const bool once = [] {
        debuglog::setConsole(nullptr);
        debuglog::setPaths({}, {});
        return true;
    }();
    (void)once;
}

} // namespace vokari::fuzz
