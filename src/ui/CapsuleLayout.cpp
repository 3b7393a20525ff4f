#include "ui/CapsuleLayout.h"

#include <algorithm>
#include <cmath>

namespace vokari {

CapsuleLayout capsuleLayout(double width, double height, double labelWidth, double labelHeight,
                            const CapsuleMetrics& metrics) {
    CapsuleLayout layout;
    // Whole-pixel label position, so the meters beside it keep exact widths.
    layout.label = {std::floor((width - labelWidth) / 2), std::floor((height - labelHeight) / 2), labelWidth,
                    labelHeight};
    const double eqY = std::floor((height - metrics.eqHeight) / 2);
    const double leftX = metrics.horizontalPad;
    const double leftEnd = layout.label.x - capsuleLabelSpacing;
    layout.leftEQ = {leftX, eqY, std::max(0.0, leftEnd - leftX), double(metrics.eqHeight)};
    const double rightX = layout.label.x + labelWidth + capsuleLabelSpacing;
    const double rightEnd = width - metrics.horizontalPad;
    layout.rightEQ = {rightX, eqY, std::max(0.0, rightEnd - rightX), double(metrics.eqHeight)};
    return layout;
}

double capsuleLabelMaxWidth(double width, const CapsuleMetrics& metrics) {
    return std::max(0.0, width - 2.0 * (metrics.horizontalPad + capsuleLabelSpacing));
}

} // namespace vokari
