#pragma once
// Points and sizes in global screen coordinates (origin at the top left of the primary screen), as the
// accessibility tree reports them and the pointer expects them. Plain values.
namespace vokari {

struct ScreenPoint {
    double x = 0;
    double y = 0;
    bool operator==(const ScreenPoint&) const = default;
};

struct ScreenSize {
    double width = 0;
    double height = 0;
    bool operator==(const ScreenSize&) const = default;
};

} // namespace vokari
