#include "core/Settings.h"

#include <array>
#include <string_view>

namespace vokari {
namespace k = settingsKeys;

bool Settings::commandModeEnabled() const {
    return store.boolValue(k::commandModeEnabled).value_or(false);
}
void Settings::setCommandModeEnabled(bool v) {
    store.setBool(k::commandModeEnabled, v);
}
bool Settings::soundFeedback() const {
    return store.boolValue(k::soundFeedback).value_or(true);
}
void Settings::setSoundFeedback(bool v) {
    store.setBool(k::soundFeedback, v);
}

std::string Settings::hotkeyOption() const {
    static constexpr std::array<std::string_view, 8> known = {
        "rightCmd", "leftCmd", "rightOption", "leftOption", "rightControl", "leftControl", "fn", "custom"};
    auto v = store.stringValue(k::hotkeyOption);
    for (auto raw : known) {
        if (v && *v == raw) {
            return *v;
        }
    }
    return "rightCmd";
}
void Settings::setHotkeyOption(const std::string& raw) {
    store.setString(k::hotkeyOption, raw);
}
bool Settings::hotkeyHoldMode() const {
    return store.boolValue(k::hotkeyHoldMode).value_or(false);
}
void Settings::setHotkeyHoldMode(bool v) {
    store.setBool(k::hotkeyHoldMode, v);
}

std::uint16_t Settings::customHotkeyCode() const {
    auto v = store.integerValue(k::customHotkeyCode).value_or(0);
    return (v < 0 || v > 0xFFFF) ? 0 : static_cast<std::uint16_t>(v);
}
std::uint64_t Settings::customHotkeyFlags() const {
    auto v = store.integerValue(k::customHotkeyFlags).value_or(0);
    return v < 0 ? 0 : static_cast<std::uint64_t>(v);
}
std::optional<std::string> Settings::customHotkeyName() const {
    return store.stringValue(k::customHotkeyName);
}
void Settings::setCustomHotkey(std::uint16_t code, std::uint64_t flags, const std::string& name) {
    store.setInteger(k::customHotkeyCode, code);
    store.setInteger(k::customHotkeyFlags, static_cast<std::int64_t>(flags));
    store.setString(k::customHotkeyName, name);
}

bool Settings::autoEnterAfterPaste() const {
    return store.boolValue(k::autoEnterAfterPaste).value_or(false);
}
void Settings::setAutoEnterAfterPaste(bool v) {
    store.setBool(k::autoEnterAfterPaste, v);
}

std::string Settings::capsuleSize() const {
    auto v = store.stringValue(k::capsuleSize);
    if (v && (*v == "small" || *v == "medium" || *v == "large")) {
        return *v;
    }
    return "medium";
}
void Settings::setCapsuleSize(const std::string& size) {
    store.setString(k::capsuleSize, size);
}

std::optional<std::string> Settings::stylePreset() const {
    return store.stringValue(k::stylePreset);
}
void Settings::setStylePreset(const std::string& preset) {
    store.setString(k::stylePreset, preset);
}
std::string Settings::customPrompt() const {
    return store.stringValue(k::customPrompt).value_or("");
}
void Settings::setCustomPrompt(const std::string& prompt) {
    store.setString(k::customPrompt, prompt);
}

bool Settings::hasCompletedOnboarding() const {
    return store.boolValue(k::hasCompletedOnboarding).value_or(false);
}
void Settings::setHasCompletedOnboarding(bool v) {
    store.setBool(k::hasCompletedOnboarding, v);
}

std::optional<std::string> Settings::legacyDeviceId() const {
    return store.stringValue(k::deviceId);
}
void Settings::removeLegacyDeviceId() {
    store.remove(k::deviceId);
}

} // namespace vokari
