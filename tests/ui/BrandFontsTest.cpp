// The brand fonts from the app's resources and their fall-back, and the static meter's geometry.
#include "OffscreenApp.h"
#include "ui/StaticEQView.h"

#include <QFontDatabase>
#include <QFontInfo>

#include <gtest/gtest.h>

#include <cmath>

using namespace vokari;

TEST(BrandFontsTest, RegisteredOnceFromResourcesAndFallBackToSystemFontsWhenMissing) {
    uitest::offscreenApp();
    EXPECT_EQ(BrandFonts::registerAll(), 6);
    EXPECT_TRUE(BrandFonts::registered());
    EXPECT_EQ(BrandFonts::registerAll(), 0) << "a second call does not list the folder again";

    // Every weight resolves to its own Figtree face, not to a weight Qt would synthesise.
    const std::pair<BrandFonts::Weight, int> weights[] = {{BrandFonts::Weight::regular, 400},
                                                          {BrandFonts::Weight::medium, 500},
                                                          {BrandFonts::Weight::semibold, 600},
                                                          {BrandFonts::Weight::bold, 700}};
    for (auto [weight, css] : weights) {
        const QFontInfo info(BrandFonts::figtree(13, weight));
        EXPECT_TRUE(info.family().startsWith("Figtree")) << info.family().toStdString();
        EXPECT_EQ(info.weight(), css);
        EXPECT_EQ(info.pixelSize(), 13);
    }
    EXPECT_EQ(QFontInfo(BrandFonts::spaceMono(10, true)).family().toStdString(), "Space Mono");
    EXPECT_EQ(QFontInfo(BrandFonts::spaceMono(10, true)).weight(), 700);

    // Without the files every lookup keeps its size and weight in the system font.
    QFontDatabase::removeAllApplicationFonts();
    const QFont fallback = BrandFonts::figtree(13, BrandFonts::Weight::semibold);
    EXPECT_FALSE(QFontInfo(fallback).family().startsWith("Figtree"));
    EXPECT_EQ(fallback.weight(), QFont::DemiBold);
    EXPECT_EQ(fallback.pixelSize(), 13);
    const QFont mono = BrandFonts::spaceMono(14);
    EXPECT_NE(QFontInfo(mono).family().toStdString(), "Space Mono");
    EXPECT_EQ(mono.pixelSize(), 14);
    EXPECT_EQ(mono.weight(), QFont::Normal);
    EXPECT_EQ(BrandFonts::registerAll(), 0);
}

TEST(StaticEQViewTest, BarsFollowTheMeterGeometry) {
    const auto bars = StaticEQView::bars(66, 20);
    ASSERT_EQ(bars.size(), 12u);
    EXPECT_NEAR(bars[0].level, std::abs(std::sin(0.5)) * 0.65 + 0.3, 1e-9);
    EXPECT_NEAR(bars[0].level, 0.61, 0.01);
    EXPECT_NEAR(bars[0].color.greenF(), 0.82, 0.01) << "bright green above level 0.4";
    // Centred: 12 bars of 2.5 with 3 between take 63 of the 66.
    EXPECT_DOUBLE_EQ(bars[0].rect.left(), 1.5);
    EXPECT_DOUBLE_EQ(bars[11].rect.right(), 64.5);
    for (const auto& bar : bars) {
        EXPECT_DOUBLE_EQ(bar.rect.center().y(), 10);
        EXPECT_GE(bar.rect.height(), 3.0);
    }
    EXPECT_EQ(StaticEQView::bars(10, 20).size(), 3u) << "never fewer than three";
    EXPECT_TRUE(StaticEQView::bars(0, 20).empty());
    EXPECT_TRUE(StaticEQView::bars(66, -1).empty());
}
