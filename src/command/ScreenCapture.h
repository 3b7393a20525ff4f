#pragma once
// The screenshot a command request carries: the primary screen, scaled down to at most 1280 pixels wide,
// as JPEG at quality 0.7, in standard Base64 without line breaks. Logs one line for the result or the failure.
// Main thread (synchronous). The app's wiring gives it the platform's screen source.
#include "command/ScreenGrabber.h"
#include "command/ScreenImage.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vokari {

class ScreenCapture : public ScreenGrabber {
public:
    static constexpr int kMaxWidth = 1280;
    static constexpr double kJpegQuality = 0.7;

    explicit ScreenCapture(std::shared_ptr<ScreenSource> source);
    std::optional<std::string> captureScreenBase64() override;

    // Only the width is bounded: wider images shrink to 1280 with the height scaled alike (truncated).
    // Nothing when the image keeps its size.
    static std::optional<std::pair<int, int>> scaledSize(int width, int height);
    // "📸 Screen captured: <bytes / 1024>KB base64"
    static std::string capturedLine(std::size_t jpegBytes);
    static std::string base64(const std::vector<std::uint8_t>& bytes);

private:
    std::shared_ptr<ScreenSource> source;
};

} // namespace vokari
