#pragma once
// A captured screen image and the two things screen capture does with it, over the platform's imaging (Qt on
// Linux). Main thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace vokari {

class ScreenImage {
public:
    virtual ~ScreenImage() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // A copy drawn at the new size with smooth (high-quality) interpolation; null when it cannot be made.
    virtual std::unique_ptr<ScreenImage> scaled(int newWidth, int newHeight) const = 0;
    // JPEG bytes at `quality` on a 0-to-1 scale; nothing when encoding fails.
    virtual std::optional<std::vector<std::uint8_t>> jpeg(double quality) const = 0;
};

// Full-resolution image of the primary screen; null when none can be taken.
class ScreenSource {
public:
    virtual ~ScreenSource() = default;
    virtual std::unique_ptr<ScreenImage> capturePrimaryScreen() = 0;
};

} // namespace vokari
