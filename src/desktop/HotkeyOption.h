#pragma once
// The selectable hotkeys, their stored raw values and persistence.
#include "app/Settings.h"

#include <array>
#include <optional>
#include <string_view>

namespace vokari {

enum class HotkeyOption { rightCmd, leftCmd, rightOption, leftOption, rightControl, leftControl, fn, custom };

inline constexpr std::array<HotkeyOption, 8> kAllHotkeyOptions = {
    HotkeyOption::rightCmd,     HotkeyOption::leftCmd,     HotkeyOption::rightOption, HotkeyOption::leftOption,
    HotkeyOption::rightControl, HotkeyOption::leftControl, HotkeyOption::fn,          HotkeyOption::custom};

std::string_view rawValue(HotkeyOption option);
std::optional<HotkeyOption> hotkeyOptionFromRaw(std::string_view raw);

namespace hotkeyOption {
inline constexpr HotkeyOption defaultOption = HotkeyOption::rightCmd;
// The option stored under "hotkeyOption"; absent or unrecognised reads as rightCmd.
HotkeyOption stored(const Settings& settings);
void save(HotkeyOption option, Settings& settings);
} // namespace hotkeyOption

} // namespace vokari
