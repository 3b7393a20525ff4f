#include "desktop/HotkeyOption.h"

namespace vokari {

std::string_view rawValue(HotkeyOption option) {
    switch (option) {
    case HotkeyOption::rightCmd:
        return "rightCmd";
    case HotkeyOption::leftCmd:
        return "leftCmd";
    case HotkeyOption::rightOption:
        return "rightOption";
    case HotkeyOption::leftOption:
        return "leftOption";
    case HotkeyOption::rightControl:
        return "rightControl";
    case HotkeyOption::leftControl:
        return "leftControl";
    case HotkeyOption::fn:
        return "fn";
    case HotkeyOption::custom:
        return "custom";
    }
    return "rightCmd";
}

std::optional<HotkeyOption> hotkeyOptionFromRaw(std::string_view raw) {
    for (auto option : kAllHotkeyOptions) {
        if (rawValue(option) == raw) {
            return option;
        }
    }
    return std::nullopt;
}

namespace hotkeyOption {
HotkeyOption stored(const Settings& settings) {
    return hotkeyOptionFromRaw(settings.hotkeyOption()).value_or(defaultOption);
}
void save(HotkeyOption option, Settings& settings) {
    settings.setHotkeyOption(std::string(rawValue(option)));
}
} // namespace hotkeyOption

} // namespace vokari
