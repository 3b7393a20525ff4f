#pragma once
// Where the capsule's label and its two meters sit: the label centred, each meter filling the space between the
// capsule's side padding and the label, 6 px clear of it, at the meter height, centred vertically. Pure; any thread.
#include "ui/CapsuleSize.h"

namespace vokari {

struct CapsuleRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

struct CapsuleLayout {
    CapsuleRect label;
    CapsuleRect leftEQ;
    CapsuleRect rightEQ;
};

inline constexpr double capsuleLabelSpacing = 6.0;

// A meter squeezed out by a wide label gets zero width, never a negative one.
CapsuleLayout capsuleLayout(double width, double height, double labelWidth, double labelHeight,
                            const CapsuleMetrics& metrics);
// The widest the label may be and still leave the side padding and the spacing around it.
double capsuleLabelMaxWidth(double width, const CapsuleMetrics& metrics);

} // namespace vokari
