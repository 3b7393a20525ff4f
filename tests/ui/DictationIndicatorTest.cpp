// The capsule as a widget on Qt's offscreen platform, its timers on virtual time: layout per size, the timer and
// countdown texts as the ticks land, the processing and error looks, size changes, and nothing left ticking once
// hidden. (The offscreen platform has no compositor, so the capsule shows and hides without fades.)
#include "ui/DictationIndicator.h"
#include "core/DefaultsStore.h"
#include "core/VirtualMainQueue.h"
#include "ui/CapsuleTimerText.h"
#include "ui/FrameClock.h"
#include "ui/HexColor.h"
#include "ui/MiniEqualizer.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>

#include <gtest/gtest.h>

#include <cstdio>

namespace vokari {
namespace {

class DictationIndicatorTest : public ::testing::Test {
protected:
    void setSize(const char* raw) {
        store.setString("capsuleSize", raw);
        center.post(notifications::capsuleSizeChanged);
        queue.runUntilIdle();
    }
    std::string text() const { return indicator.timerLabel().accessibleName().toStdString(); }
    QColor color() const { return indicator.timerLabel().palette().color(QPalette::WindowText); }

    VirtualMainQueue queue;
    MemoryDefaultsStore store;
    Settings settings{store};
    NotificationCenter center;
    DictationIndicator indicator{queue, settings, center};
};

TEST_F(DictationIndicatorTest, LayoutPerSizeLabelCentredMetersBetweenPadAndLabel) {
    ASSERT_FALSE(indicator.translucent());
    for (const char* raw : {"small", "medium", "large"}) {
        setSize(raw);
        indicator.showIndicator();
        const CapsuleMetrics m = capsuleMetrics(capsuleSizeFromRaw(raw));
        SCOPED_TRACE(raw);
        EXPECT_EQ(indicator.size(), QSize(m.width, m.height));
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_EQ(indicator.y(), area.y() + 6);
        EXPECT_LE(std::abs(indicator.geometry().center().x() - area.center().x()), 1);
        const QRect label = indicator.timerLabel().geometry();
        const QRect left = indicator.leftEQ().geometry();
        const QRect right = indicator.rightEQ().geometry();
        EXPECT_LE(std::abs(label.center().x() - m.width / 2), 1);
        EXPECT_LE(std::abs(label.center().y() - m.height / 2), 1);
        EXPECT_EQ(left.x(), m.horizontalPad);
        EXPECT_EQ(left.x() + left.width(), label.x() - 6);
        EXPECT_EQ(right.x(), label.x() + label.width() + 6);
        EXPECT_EQ(right.x() + right.width(), m.width - m.horizontalPad);
        EXPECT_EQ(left.height(), m.eqHeight);
        EXPECT_EQ(right.height(), m.eqHeight);
        EXPECT_EQ(left.y(), (m.height - m.eqHeight) / 2);
        EXPECT_EQ(indicator.leftEQ().state().barCount, std::max(3, static_cast<int>(left.width() / 5.5)));
        EXPECT_EQ(indicator.timerLabel().font().pixelSize(), m.fontSize);
        // No compositor: the corners are cut by the mask.
        EXPECT_FALSE(indicator.mask().contains(QPoint(0, 0)));
        EXPECT_TRUE(indicator.mask().contains(QPoint(m.width / 2, m.height / 2)));
        indicator.hideIndicator();
    }
}

TEST_F(DictationIndicatorTest, TimerTicksEverySecondAndCountsDownTheLastThirty) {
    indicator.setMaxDuration(300);
    indicator.showIndicator();
    EXPECT_TRUE(indicator.isVisible());
    EXPECT_TRUE(indicator.leftEQ().isRendering());
    queue.advance(0.9);
    EXPECT_EQ(text(), "0:00");
    queue.advance(65.4 - 0.9);
    EXPECT_EQ(text(), "1:05");
    EXPECT_EQ(indicator.accessibleName().toStdString(), "Recording 1:05");
    EXPECT_EQ(color(), colorFromHex(capsuleColors::timer));
    queue.advance(269.5 - 65.4);
    EXPECT_EQ(text(), "4:29");
    queue.advance(2.0);
    EXPECT_EQ(text(), "0:29");
    EXPECT_EQ(color(), colorFromHex(capsuleColors::countdown));
    queue.advance(30);
    EXPECT_EQ(text(), "0:00");

    // Without a limit the minutes keep counting.
    indicator.hideIndicator();
    indicator.setMaxDuration(0);
    indicator.showIndicator();
    queue.advance(600.5);
    EXPECT_EQ(text(), "10:00");
}

TEST_F(DictationIndicatorTest, ProcessingFreezesDimmedMetersAndHidingLeavesNothingTicking) {
    indicator.showIndicator();
    indicator.pushLevel(0.2f);
    indicator.leftEQ().startRendering(); // a second start keeps the one frame timer
    indicator.leftEQ().tick();
    queue.advance(7.2);
    indicator.showProcessing();
    EXPECT_EQ(indicator.look(), DictationIndicator::Look::processing);
    EXPECT_EQ(text(), "0:07");
    EXPECT_EQ(indicator.accessibleName().toStdString(), "Processing 0:07");
    EXPECT_EQ(color(), colorFromHex(capsuleColors::processing));
    EXPECT_FALSE(indicator.leftEQ().isRendering());
    EXPECT_FALSE(indicator.rightEQ().isRendering());
    EXPECT_TRUE(indicator.leftEQ().state().dimmed);
    EXPECT_GT(indicator.leftEQ().state().barHeights[0], 1.5); // the last frame stays
    queue.advance(5);
    EXPECT_EQ(text(), "0:07"); // the elapsed timer stopped
    indicator.hideIndicator();
    EXPECT_FALSE(indicator.isVisible());
    EXPECT_EQ(queue.pendingCount(), 0u);
    EXPECT_FALSE(indicator.leftEQ().isRendering());
    // The next recording starts from rest, undimmed.
    indicator.showIndicator();
    EXPECT_FALSE(indicator.leftEQ().state().dimmed);
    EXPECT_EQ(text(), "0:00");
    EXPECT_EQ(indicator.leftEQ().state().barHeights[0], 1.5);
}

TEST_F(DictationIndicatorTest, ErrorWidensHidesAfterTwoSecondsUnlessANewRecordingStarts) {
    const CapsuleMetrics m = capsuleMetrics(CapsuleSize::medium);
    const int centre = QGuiApplication::primaryScreen()->availableGeometry().center().x();
    indicator.showIndicator();
    indicator.showError("Too short");
    EXPECT_EQ(indicator.width(), m.errorWidth);
    EXPECT_LE(std::abs(indicator.geometry().center().x() - centre), 1);
    EXPECT_EQ(color(), colorFromHex(capsuleColors::error));
    EXPECT_EQ(indicator.accessibleName().toStdString(), "Error: Too short");
    queue.advance(1.99);
    EXPECT_TRUE(indicator.isVisible());
    queue.advance(0.02);
    EXPECT_FALSE(indicator.isVisible());
    EXPECT_EQ(indicator.width(), m.width);

    // A new recording within the 2 s keeps showing, at the normal width.
    indicator.showIndicator();
    indicator.showError("Request timed out — try again, and this message is far too long for the capsule");
    EXPECT_LT(indicator.timerLabel().width(), m.errorWidth);
    queue.advance(1.0);
    indicator.showIndicator();
    queue.advance(1.5);
    EXPECT_TRUE(indicator.isVisible());
    EXPECT_EQ(indicator.look(), DictationIndicator::Look::recording);
    EXPECT_EQ(indicator.width(), m.width);
}

TEST_F(DictationIndicatorTest, SizeChangeRestylesAtOnceAndResizesAtTheNextShow) {
    setSize("large");
    EXPECT_FALSE(indicator.isVisible());
    indicator.showIndicator();
    EXPECT_EQ(indicator.size(), QSize(300, 46));
    EXPECT_EQ(indicator.timerLabel().font().pixelSize(), 16);
    EXPECT_EQ(indicator.leftEQ().height(), 32);
    setSize("small");
    EXPECT_EQ(indicator.size(), QSize(300, 46));
    EXPECT_EQ(indicator.timerLabel().font().pixelSize(), 11);
    EXPECT_EQ(indicator.leftEQ().height(), 14);
    EXPECT_EQ(indicator.rightEQ().height(), 14);
    indicator.hideIndicator();
    indicator.showIndicator();
    EXPECT_EQ(indicator.size(), QSize(130, 26));
}

TEST(FrameClock, OneTimerRunsWhileAnyListenerRemains) {
    FrameClock clock;
    int a = 0;
    int b = 0;
    clock.add(&a, [&] { ++a; });
    clock.add(&a, [&] { a += 100; }); // the same listener again changes nothing
    clock.add(&b, [&] { ++b; });
    EXPECT_TRUE(clock.isRunning());
    clock.remove(&a);
    EXPECT_TRUE(clock.isRunning());
    clock.remove(&b);
    EXPECT_FALSE(clock.isRunning());
    clock.remove(&b); // leaving twice is harmless
    EXPECT_FALSE(clock.contains(&a));
}

} // namespace
} // namespace vokari

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform says so for every mask and raise; those lines would bury real warnings.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        if (!message.startsWith(QLatin1String("This plugin does not support"))) {
            std::fprintf(stderr, "%s\n", qPrintable(message));
        }
    });
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
