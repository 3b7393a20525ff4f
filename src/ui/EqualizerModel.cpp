#include "ui/EqualizerModel.h"

#include <algorithm>
#include <cmath>

namespace vokari {

namespace {
constexpr float fullScaleLevel = 0.05f; // an RMS level this high drives the bars to full height
constexpr double riseSpeed = 0.4;
constexpr double fallSpeed = 0.15;
constexpr double visibleStep = 0.01; // a hundredth of a pixel: below what any display shows
} // namespace

BarColor barColor(double intensity, bool dimmed) {
    const float scale = dimmed ? 0.25f : 1.0f;
    const auto v = static_cast<float>(intensity);
    if (intensity > 0.4) {
        return {0.18f, 0.82f, 0.55f, (v * 0.3f + 0.7f) * scale};
    }
    if (intensity > 0.05) {
        return {0.15f, 0.55f, 0.4f, (v * 0.5f + 0.35f) * scale};
    }
    return {0.3f, 0.3f, 0.3f, 0.25f * scale};
}

EqualizerModel::EqualizerModel(std::uint32_t seed) : random(seed) {}

float EqualizerModel::randomPhase() {
    return std::uniform_real_distribution<float>(0.0f, 6.28f)(random);
}

void EqualizerModel::layout(double width) {
    if (width <= 0) {
        return;
    }
    const int n = std::max(3, static_cast<int>(width / (barW + gap)));
    if (n == barCount && static_cast<int>(barWeights.size()) == n) {
        return;
    }
    barCount = n;
    barHeights.assign(n, restHeight);
    targetHeights.assign(n, restHeight);
    barWeights.resize(n);
    barPhases.resize(n);
    for (int i = 0; i < n; ++i) {
        barWeights[i] = 0.6f + std::fabs(static_cast<float>(std::sin(i * 1.7)) * 0.35f);
        barPhases[i] = randomPhase();
    }
}

void EqualizerModel::reset() {
    const auto n = static_cast<std::size_t>(std::max(0, barCount));
    barHeights.assign(n, restHeight);
    targetHeights.assign(n, restHeight);
    currentLevel = 0;
    dimmed = false;
    barPhases.resize(n);
    for (float& phase : barPhases) {
        phase = randomPhase();
    }
}

bool EqualizerModel::tick(double viewHeight) {
    if (barCount <= 0) {
        return false;
    }
    bool moved = false;
    const double maxH = viewHeight / 2 - 1;
    const double level = std::min(currentLevel / fullScaleLevel, 1.0f);
    std::uniform_real_distribution<float> step(0.08f, std::nextafter(0.15f, 1.0f));
    for (int i = 0; i < barCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        if (at < barPhases.size()) {
            barPhases[at] += step(random);
        }
        const float phase = at < barPhases.size() ? barPhases[at] : 0.0f;
        const double wobble = std::sin(phase) * 0.15 + 0.85;
        const double weight = at < barWeights.size() ? barWeights[at] : 0.8;
        const double target = restHeight + maxH * (level * weight * wobble);
        if (at < targetHeights.size()) {
            targetHeights[at] = target;
        }
        if (at < barHeights.size() && at < targetHeights.size()) {
            const double speed = barHeights[at] < targetHeights[at] ? riseSpeed : fallSpeed;
            const double step = (targetHeights[at] - barHeights[at]) * speed;
            barHeights[at] += step;
            moved = moved || std::fabs(step) >= visibleStep;
        }
    }
    return moved;
}

EqualizerModel::Bar EqualizerModel::bar(int i, double width, double height) const {
    const double total = barCount * barW + (barCount - 1) * gap;
    const double startX = (width - total) / 2;
    const auto at = static_cast<std::size_t>(i);
    const double bh = i >= 0 && at < barHeights.size() ? barHeights[at] : restHeight;
    const double intensity = (bh - restHeight) / std::max(height / 2, 1.0);
    return {startX + i * (barW + gap), height / 2 - bh, barW, 2 * bh, barColor(intensity, dimmed)};
}

} // namespace vokari
