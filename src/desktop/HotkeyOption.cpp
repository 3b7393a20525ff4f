#include "desktop/HotkeyOption.h"

#include "desktop/VirtualKeys.h"

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

std::uint16_t keyCode(HotkeyOption option, const Settings& settings) {
    switch (option) {
    case HotkeyOption::rightCmd:
        return virtualKey::rightCommand;
    case HotkeyOption::leftCmd:
        return virtualKey::leftCommand;
    case HotkeyOption::rightOption:
        return virtualKey::rightOption;
    case HotkeyOption::leftOption:
        return virtualKey::leftOption;
    case HotkeyOption::rightControl:
        return virtualKey::rightControl;
    case HotkeyOption::leftControl:
        return virtualKey::leftControl;
    case HotkeyOption::fn:
        return virtualKey::function;
    case HotkeyOption::custom:
        return settings.customHotkeyCode();
    }
    return virtualKey::rightCommand;
}

std::uint64_t flagMask(HotkeyOption option, const Settings& settings) {
    switch (option) {
    case HotkeyOption::rightCmd:
    case HotkeyOption::leftCmd:
        return eventFlag::command;
    case HotkeyOption::rightOption:
    case HotkeyOption::leftOption:
        return eventFlag::option;
    case HotkeyOption::rightControl:
    case HotkeyOption::leftControl:
        return eventFlag::control;
    case HotkeyOption::fn:
        return eventFlag::secondaryFn;
    case HotkeyOption::custom:
        return settings.customHotkeyFlags();
    }
    return eventFlag::command;
}

std::string displayName(HotkeyOption option, const Settings& settings) {
    switch (option) {
    case HotkeyOption::rightCmd:
        return "Right Super";
    case HotkeyOption::leftCmd:
        return "Left Super";
    case HotkeyOption::rightOption:
        return "Right Alt";
    case HotkeyOption::leftOption:
        return "Left Alt";
    case HotkeyOption::rightControl:
        return "Right Ctrl";
    case HotkeyOption::leftControl:
        return "Left Ctrl";
    case HotkeyOption::fn:
        // Laptops handle Fn in firmware; X11 never sees it.
        return "Fn (not available on X11)";
    case HotkeyOption::custom:
        return settings.customHotkeyName().value_or("Custom Key");
    }
    return "Right Super";
}

namespace hotkeyOption {
HotkeyOption stored(const Settings& settings) {
    return hotkeyOptionFromRaw(settings.hotkeyOption()).value_or(defaultOption);
}
void save(HotkeyOption option, Settings& settings) {
    settings.setHotkeyOption(std::string(rawValue(option)));
}
void saveCustomKey(std::uint16_t keyCode, std::uint64_t flags, const std::string& name, Settings& settings) {
    settings.setCustomHotkey(keyCode, flags, name);
}
} // namespace hotkeyOption

} // namespace vokari
