#pragma once
// The three sizes of the recording capsule with every dimension it needs (device-independent pixels), and the
// stored choice under "capsuleSize". Pure values; any thread.
#include "core/Settings.h"

#include <array>
#include <string_view>

namespace vokari {

enum class CapsuleSize { small, medium, large };

struct CapsuleMetrics {
    int width;
    int height;
    int fontSize;
    int eqHeight;
    int horizontalPad;
    int errorWidth;
};

inline constexpr std::array<CapsuleSize, 3> allCapsuleSizes{CapsuleSize::small, CapsuleSize::medium,
                                                            CapsuleSize::large};

CapsuleMetrics capsuleMetrics(CapsuleSize size);
std::string_view rawValue(CapsuleSize size);
std::string_view displayName(CapsuleSize size);
// Medium for anything that is not one of the three raw values.
CapsuleSize capsuleSizeFromRaw(std::string_view raw);

// The size in force: the stored raw value, medium when absent or unknown.
CapsuleSize storedCapsuleSize(const Settings& settings);
void saveCapsuleSize(Settings& settings, CapsuleSize size);

} // namespace vokari
