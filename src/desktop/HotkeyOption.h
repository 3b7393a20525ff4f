#pragma once
// The selectable hotkeys: stored raw values, virtual key codes, flag masks, display names and persistence.
// Plain functions over a value; the custom key's details come from the settings. Any thread.
#include "core/Settings.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vokari {

enum class HotkeyOption { rightCmd, leftCmd, rightOption, leftOption, rightControl, leftControl, fn, custom };

inline constexpr std::array<HotkeyOption, 8> kAllHotkeyOptions = {
    HotkeyOption::rightCmd,     HotkeyOption::leftCmd,     HotkeyOption::rightOption, HotkeyOption::leftOption,
    HotkeyOption::rightControl, HotkeyOption::leftControl, HotkeyOption::fn,          HotkeyOption::custom};

std::string_view rawValue(HotkeyOption option);
std::optional<HotkeyOption> hotkeyOptionFromRaw(std::string_view raw);

// The virtual key code watched for the option; custom reads "customHotkeyCode".
std::uint16_t keyCode(HotkeyOption option, const Settings& settings);
// The event-flag bit that is set while the option's key is down; custom reads "customHotkeyFlags".
std::uint64_t flagMask(HotkeyOption option, const Settings& settings);
// The label shown to the user. On X11 the options name PC keys; Fn never reaches X11, so its label says so.
// Custom: the stored "customHotkeyName", or "Custom Key" when none is stored.
std::string displayName(HotkeyOption option, const Settings& settings);

namespace hotkeyOption {
inline constexpr HotkeyOption defaultOption = HotkeyOption::rightCmd;
// The option stored under "hotkeyOption"; absent or unrecognised reads as rightCmd.
HotkeyOption stored(const Settings& settings);
void save(HotkeyOption option, Settings& settings);
// Writes "customHotkeyCode", "customHotkeyFlags" and "customHotkeyName" in that order; "hotkeyOption" is left
// to the caller.
void saveCustomKey(std::uint16_t keyCode, std::uint64_t flags, const std::string& name, Settings& settings);
} // namespace hotkeyOption

} // namespace vokari
