// Screen capture rules on synthetic images: the width bound, the quality, the Base64 form and the log lines.
#include "command/ScreenCapture.h"
#include "core/DebugLog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>

namespace vokari {
namespace {

using ::testing::ElementsAre;

class Lines : public LogSink {
public:
    void log(const std::string& message, const std::string&, const std::string&) override {
        std::lock_guard lock(mutex);
        messages.push_back(message);
    }
    std::mutex mutex;
    std::vector<std::string> messages;
};

// Records what was done to it; its JPEG is `jpegBytes` bytes counting up from 0.
struct Recorder {
    std::vector<std::string> calls;
    bool failScale = false;
    std::size_t jpegBytes = 5;
};

class SyntheticImage : public ScreenImage {
public:
    SyntheticImage(int w, int h, Recorder& r) : w(w), h(h), r(r) {}
    int width() const override { return w; }
    int height() const override { return h; }
    std::unique_ptr<ScreenImage> scaled(int nw, int nh) const override {
        r.calls.push_back("scale " + std::to_string(nw) + "x" + std::to_string(nh));
        return r.failScale ? nullptr : std::make_unique<SyntheticImage>(nw, nh, r);
    }
    std::optional<std::vector<std::uint8_t>> jpeg(double quality) const override {
        r.calls.push_back("jpeg " + std::to_string(w) + "x" + std::to_string(h) + " q" +
                          std::to_string(static_cast<int>(quality * 100 + 0.5)));
        if (r.jpegBytes == 0) {
            return std::nullopt;
        }
        std::vector<std::uint8_t> bytes(r.jpegBytes);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(i);
        }
        return bytes;
    }

private:
    int w, h;
    Recorder& r;
};

class SyntheticScreen : public ScreenSource {
public:
    SyntheticScreen(int w, int h, Recorder& r) : w(w), h(h), r(r) {}
    std::unique_ptr<ScreenImage> capturePrimaryScreen() override {
        return w > 0 ? std::make_unique<SyntheticImage>(w, h, r) : nullptr;
    }

private:
    int w, h;
    Recorder& r;
};

struct CaptureHarness {
    std::shared_ptr<Lines> log = std::make_shared<Lines>();
    Recorder recorder;
    CaptureHarness() { debuglog::setSink(log); }
    ~CaptureHarness() { debuglog::setSink(nullptr); }
    std::optional<std::string> capture(int w, int h) {
        return ScreenCapture(std::make_shared<SyntheticScreen>(w, h, recorder)).captureScreenBase64();
    }
};

TEST(ScreenCaptureTest, BoundsTheWidthOnlyAndEncodesAtQualitySeventy) {
    CaptureHarness h;
    EXPECT_EQ(h.capture(2560, 1600), "AAECAwQ=");
    EXPECT_TRUE(h.capture(2000, 1333));
    EXPECT_TRUE(h.capture(1280, 800));
    EXPECT_TRUE(h.capture(1000, 3000)); // a tall screen keeps its height
    EXPECT_THAT(h.recorder.calls, ElementsAre("scale 1280x800", "jpeg 1280x800 q70", "scale 1280x853",
                                              "jpeg 1280x853 q70", "jpeg 1280x800 q70", "jpeg 1000x3000 q70"));

    h.recorder.jpegBytes = 150000;
    const auto big = h.capture(1280, 800);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->size(), 200000u);
    EXPECT_EQ(big->find('\n'), std::string::npos);
    EXPECT_EQ(h.log->messages.back(), "📸 Screen captured: 146KB base64");
    EXPECT_EQ(h.log->messages.front(), "📸 Screen captured: 0KB base64");
}

TEST(ScreenCaptureTest, EachFailureReturnsNothingAndLogsOneLine) {
    CaptureHarness h;
    EXPECT_FALSE(h.capture(0, 0));
    h.recorder.failScale = true;
    EXPECT_FALSE(h.capture(3000, 2000));
    h.recorder.failScale = false;
    h.recorder.jpegBytes = 0;
    EXPECT_FALSE(h.capture(800, 600));
    EXPECT_THAT(h.log->messages,
                ElementsAre("⚠️ Screen capture failed — no image", "⚠️ Screen capture resize failed",
                            "⚠️ Screen capture JPEG encoding failed"));
}

TEST(ScreenCaptureTest, Base64IsStandardWithPadding) {
    EXPECT_EQ(ScreenCapture::base64({}), "");
    EXPECT_EQ(ScreenCapture::base64({'f'}), "Zg==");
    EXPECT_EQ(ScreenCapture::base64({'f', 'o'}), "Zm8=");
    EXPECT_EQ(ScreenCapture::base64({0xFB, 0xFF, 0xBF}), "+/+/");
}

} // namespace
} // namespace vokari
