#include "ui/CapsuleSize.h"

#include <string>

namespace vokari {

CapsuleMetrics capsuleMetrics(CapsuleSize size) {
    switch (size) {
    case CapsuleSize::small:
        return {.width = 130, .height = 26, .fontSize = 11, .eqHeight = 14, .horizontalPad = 10, .errorWidth = 190};
    case CapsuleSize::large:
        return {.width = 300, .height = 46, .fontSize = 16, .eqHeight = 32, .horizontalPad = 20, .errorWidth = 340};
    case CapsuleSize::medium:
        break;
    }
    return {.width = 200, .height = 34, .fontSize = 13, .eqHeight = 22, .horizontalPad = 14, .errorWidth = 250};
}

std::string_view rawValue(CapsuleSize size) {
    switch (size) {
    case CapsuleSize::small:
        return "small";
    case CapsuleSize::large:
        return "large";
    case CapsuleSize::medium:
        break;
    }
    return "medium";
}

std::string_view displayName(CapsuleSize size) {
    switch (size) {
    case CapsuleSize::small:
        return "Small";
    case CapsuleSize::large:
        return "Large";
    case CapsuleSize::medium:
        break;
    }
    return "Medium";
}

CapsuleSize capsuleSizeFromRaw(std::string_view raw) {
    for (CapsuleSize size : allCapsuleSizes) {
        if (rawValue(size) == raw) {
            return size;
        }
    }
    return CapsuleSize::medium;
}

CapsuleSize storedCapsuleSize(const Settings& settings) {
    return capsuleSizeFromRaw(settings.capsuleSize());
}

void saveCapsuleSize(Settings& settings, CapsuleSize size) {
    settings.setCapsuleSize(std::string(rawValue(size)));
}

} // namespace vokari
