#pragma once
// The animation state of one level meter: bar count from the width, fixed per-bar weights, a per-bar wobble,
// heights easing towards level-driven targets (rising fast, falling slowly), and each bar's rectangle and colour.
// Pure and allocation-free per frame; owned by its MiniEqualizer view, main thread.
#include <cstdint>
#include <random>
#include <vector>

namespace vokari {

struct BarColor {
    float red;
    float green;
    float blue;
    float alpha;
};

// Colour of a bar at an intensity (its half-height above rest over the view's half-height); a quarter of the
// alpha when dimmed.
BarColor barColor(double intensity, bool dimmed);

class EqualizerModel {
public:
    static constexpr double barW = 2.5;
    static constexpr double gap = 3.0;
    static constexpr double restHeight = 1.5;

    struct Bar {
        double x;
        double y;
        double width;
        double height;
        BarColor color;
    };

    explicit EqualizerModel(std::uint32_t seed = std::random_device{}());

    // Recomputes the bar count for a view `width` wide; a width of 0 or less keeps the current count.
    void layout(double width);
    // Back to resting bars with fresh phases; not dimmed, level 0. Weights stay.
    void reset();
    void pushLevel(float level) { currentLevel = level; }
    // One animation frame for a view `viewHeight` high. False when no bar moved by a visible amount.
    bool tick(double viewHeight);
    // Bar i of a view `width` × `height`, the row centred horizontally, mirrored about the centre line.
    Bar bar(int i, double width, double height) const;

    int barCount = 5;
    float currentLevel = 0;
    std::vector<double> barHeights;
    std::vector<double> targetHeights;
    std::vector<float> barWeights;
    std::vector<float> barPhases;
    bool dimmed = false;

private:
    float randomPhase();

    std::mt19937 random;
};

} // namespace vokari
