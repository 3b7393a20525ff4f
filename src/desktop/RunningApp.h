#pragma once
// A handle of a running application: on X11 its top-level window. A plain value.
#include <cstdint>
#include <optional>
#include <string>

namespace vokari {

struct RunningApp {
    std::uint64_t windowId = 0;
    std::int64_t pid = 0;
    std::string windowClass; // WM_CLASS class part, e.g. "XTerm"
    std::optional<std::string> localizedName;

    bool operator==(const RunningApp&) const = default;
};

} // namespace vokari
