// The capsule's pure rules: timer and countdown texts, stored size, layout, and the meters' bars.
#include "core/DefaultsStore.h"
#include "ui/CapsuleLayout.h"
#include "ui/CapsuleTimerText.h"
#include "ui/EqualizerModel.h"

#include <gtest/gtest.h>

namespace vokari {
namespace {

TEST(CapsuleTimerText, ElapsedMinutesInGreyThenAYellowCountdownForTheLastThirtySeconds) {
    struct Case {
        double elapsed, max;
        const char* text;
        std::string_view color;
    };
    const Case cases[] = {
        {0.9, 0, "0:00", capsuleColors::timer},         {65.4, 0, "1:05", capsuleColors::timer},
        {600, 0, "10:00", capsuleColors::timer},        {269, 300, "4:29", capsuleColors::timer},
        {270.2, 300, "0:29", capsuleColors::countdown}, {300, 300, "0:00", capsuleColors::countdown},
        {312.5, 300, "0:00", capsuleColors::countdown}, {-3, 0, "0:00", capsuleColors::timer},
        {7200, 0, "120:00", capsuleColors::timer},
    };
    for (const Case& c : cases) {
        const CapsuleTimerText t = capsuleTimerText(c.elapsed, c.max);
        EXPECT_EQ(t.text, c.text) << c.elapsed << " of " << c.max;
        EXPECT_EQ(t.color, c.color) << c.elapsed << " of " << c.max;
    }
}

TEST(CapsuleSize, StoredValueFallsBackToMediumAndSavesItsRawValue) {
    MemoryDefaultsStore store;
    Settings settings(store);
    EXPECT_EQ(storedCapsuleSize(settings), CapsuleSize::medium);
    EXPECT_EQ(capsuleMetrics(storedCapsuleSize(settings)).width, 200);
    EXPECT_EQ(capsuleMetrics(storedCapsuleSize(settings)).height, 34);
    store.setString("capsuleSize", "huge");
    EXPECT_EQ(storedCapsuleSize(settings), CapsuleSize::medium);
    saveCapsuleSize(settings, CapsuleSize::large);
    EXPECT_EQ(store.stringValue("capsuleSize"), "large");
    EXPECT_EQ(storedCapsuleSize(settings), CapsuleSize::large);
    EXPECT_EQ(capsuleSizeFromRaw("Small"), CapsuleSize::medium); // raw values are lower case
}

TEST(CapsuleLayout, LabelCentredAndMetersFillTheSidesSixPixelsClear) {
    const CapsuleMetrics m = capsuleMetrics(CapsuleSize::medium);
    const CapsuleLayout l = capsuleLayout(200, 34, 33, 16, m);
    EXPECT_EQ(l.label.x, 83); // (200 - 33) / 2, whole pixels
    EXPECT_EQ(l.label.y, 9);
    EXPECT_EQ(l.leftEQ.x, 14);
    EXPECT_EQ(l.leftEQ.x + l.leftEQ.width, l.label.x - 6);
    EXPECT_EQ(l.rightEQ.x, l.label.x + 33 + 6);
    EXPECT_EQ(l.rightEQ.x + l.rightEQ.width, 200 - 14);
    EXPECT_EQ(l.leftEQ.height, 22);
    EXPECT_EQ(l.leftEQ.y, 6);
    // A label wider than the room between the pads squeezes the meters to nothing, never below.
    const CapsuleLayout wide = capsuleLayout(200, 34, 190, 16, m);
    EXPECT_EQ(wide.leftEQ.width, 0);
    EXPECT_EQ(wide.rightEQ.width, 0);
    EXPECT_EQ(capsuleLabelMaxWidth(250, m), 250 - 2 * (14 + 6));
}

TEST(EqualizerModel, BarCountFollowsTheWidthWithAMinimumOfThree) {
    EqualizerModel model(1);
    model.layout(66);
    EXPECT_EQ(model.barCount, 12);
    ASSERT_EQ(model.barWeights.size(), 12u);
    EXPECT_FLOAT_EQ(model.barWeights[0], 0.6f);
    EXPECT_NEAR(model.barWeights[1], 0.947, 0.001);
    EXPECT_NEAR(model.barWeights[7], 0.816, 0.001);
    model.layout(0);
    EXPECT_EQ(model.barCount, 12);
    model.layout(10);
    EXPECT_EQ(model.barCount, 3);
    EXPECT_EQ(model.barHeights.size(), 3u);
    // The width that gives the initial five bars still sizes every array, so those bars animate too.
    EqualizerModel five(1);
    five.layout(27.5);
    EXPECT_EQ(five.barCount, 5);
    EXPECT_EQ(five.barWeights.size(), 5u);
    five.pushLevel(0.05f);
    five.tick(22);
    EXPECT_GT(five.barHeights[2], EqualizerModel::restHeight);
}

TEST(EqualizerModel, BarsRiseFortyPercentAndFallFifteenPercentOfTheGapPerFrame) {
    EqualizerModel model(7);
    model.layout(66);
    model.pushLevel(0.2f); // above 0.05: full scale
    EXPECT_TRUE(model.tick(22));
    for (int i = 0; i < model.barCount; ++i) {
        const double target = model.targetHeights[i];
        EXPECT_GE(target, 1.5 + 10 * 0.6 * 0.7 - 1e-9);
        EXPECT_LE(target, 1.5 + 10 * model.barWeights[i] + 1e-6);
        EXPECT_NEAR(model.barHeights[i], 1.5 + (target - 1.5) * 0.4, 1e-9);
    }
    const std::vector<double> before = model.barHeights;
    model.pushLevel(0);
    model.tick(22);
    for (int i = 0; i < model.barCount; ++i) {
        EXPECT_DOUBLE_EQ(model.targetHeights[i], 1.5);
        EXPECT_NEAR(model.barHeights[i], before[i] + (1.5 - before[i]) * 0.15, 1e-9);
    }
    for (int frame = 0; frame < 200; ++frame) {
        model.tick(22);
    }
    EXPECT_FALSE(model.tick(22)); // settled bars ask for no repaint
    const EqualizerModel::Bar rest = model.bar(0, 66, 22);
    EXPECT_NEAR(rest.height, 3.0, 1e-6); // a resting grey pill, 2.5 × 3
    EXPECT_FLOAT_EQ(rest.color.alpha, 0.25f);
    EXPECT_DOUBLE_EQ(rest.x, (66 - (12 * 2.5 + 11 * 3.0)) / 2);
    // Reset brings the rest picture back with fresh phases and undimmed.
    model.dimmed = true;
    const std::vector<float> phases = model.barPhases;
    model.reset();
    EXPECT_FALSE(model.dimmed);
    EXPECT_NE(model.barPhases, phases);
}

TEST(EqualizerModel, ColourBandsAndDimmedAlpha) {
    EXPECT_NEAR(barColor(0.6, true).alpha, 0.22f, 1e-6);
    EXPECT_NEAR(barColor(0.6, false).alpha, 0.88f, 1e-6);
    EXPECT_FLOAT_EQ(barColor(0.6, false).green, 0.82f);
    EXPECT_FLOAT_EQ(barColor(0.4, false).green, 0.55f); // 0.4 itself is the middle band
    EXPECT_NEAR(barColor(0.4, false).alpha, 0.55f, 1e-6);
    EXPECT_FLOAT_EQ(barColor(0.05, false).red, 0.3f);
    EXPECT_NEAR(barColor(0.0, true).alpha, 0.0625f, 1e-6);
}

} // namespace
} // namespace vokari
