#pragma once
// Recognises terminal emulators by their window class. Terminals read Control+V as a control character, so the
// paste goes to them as Control+Shift+V. Pure function, any thread.
#include <string_view>

namespace vokari {

// True when windowClass (the WM_CLASS class or instance part, any letter case) names a known terminal.
bool isTerminalWindowClass(std::string_view windowClass);

} // namespace vokari
