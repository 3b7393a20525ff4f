#pragma once
// What the capsule's centre label reads while recording: elapsed minutes and seconds in grey, or in the last 30 s
// before the recording limit a yellow countdown of whole seconds. Pure; any thread.
#include <string>
#include <string_view>

namespace vokari {

namespace capsuleColors {
inline constexpr std::string_view background = "#111114";
inline constexpr std::string_view timer = "#AAAAAA";
inline constexpr std::string_view countdown = "#FACC15";
inline constexpr std::string_view processing = "#666666";
inline constexpr std::string_view error = "#EF4444";
} // namespace capsuleColors

struct CapsuleTimerText {
    std::string text;
    std::string_view color;
};

// `elapsed` seconds since the recording was shown; `maxDuration` 0 (or less) means no limit.
CapsuleTimerText capsuleTimerText(double elapsed, double maxDuration);

} // namespace vokari
