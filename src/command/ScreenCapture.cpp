#include "command/ScreenCapture.h"

#include "core/DebugLog.h"

namespace vokari {

ScreenCapture::ScreenCapture(std::shared_ptr<ScreenSource> source) : source(std::move(source)) {}

std::optional<std::pair<int, int>> ScreenCapture::scaledSize(int width, int height) {
    if (width <= kMaxWidth) {
        return std::nullopt;
    }
    const double scale = static_cast<double>(kMaxWidth) / width;
    return std::pair<int, int>{static_cast<int>(width * scale), static_cast<int>(height * scale)};
}

std::string ScreenCapture::capturedLine(std::size_t jpegBytes) {
    return "📸 Screen captured: " + std::to_string(jpegBytes / 1024) + "KB base64";
}

std::string ScreenCapture::base64(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += kAlphabet[(n >> 6) & 63];
        out += kAlphabet[n & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        const std::uint32_t n = (bytes[i] << 16) | (rest == 2 ? bytes[i + 1] << 8 : 0);
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::string> ScreenCapture::captureScreenBase64() {
    std::unique_ptr<ScreenImage> image = source ? source->capturePrimaryScreen() : nullptr;
    if (!image || image->width() <= 0 || image->height() <= 0) {
        debugLog("⚠️ Screen capture failed — no image");
        return std::nullopt;
    }
    if (auto size = scaledSize(image->width(), image->height())) {
        auto smaller = image->scaled(size->first, size->second);
        if (!smaller) {
            debugLog("⚠️ Screen capture resize failed");
            return std::nullopt;
        }
        image = std::move(smaller);
    }
    auto jpeg = image->jpeg(kJpegQuality);
    if (!jpeg || jpeg->empty()) {
        debugLog("⚠️ Screen capture JPEG encoding failed");
        return std::nullopt;
    }
    debugLog(capturedLine(jpeg->size()));
    return base64(*jpeg);
}

} // namespace vokari
