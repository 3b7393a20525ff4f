#pragma once
// Typed access to every user setting, with each key's value when absent. Reads go to the store at every call,
// so a change made elsewhere applies at the next use. A cheap value over a DefaultsStore; any thread.
#include "core/DefaultsStore.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vokari {

namespace settingsKeys {
inline constexpr const char* commandModeEnabled = "commandModeEnabled";
inline constexpr const char* soundFeedback = "soundFeedback";
inline constexpr const char* hotkeyOption = "hotkeyOption";
inline constexpr const char* hotkeyHoldMode = "hotkeyHoldMode";
inline constexpr const char* customHotkeyCode = "customHotkeyCode";
inline constexpr const char* customHotkeyFlags = "customHotkeyFlags";
inline constexpr const char* customHotkeyName = "customHotkeyName";
inline constexpr const char* autoEnterAfterPaste = "autoEnterAfterPaste";
inline constexpr const char* capsuleSize = "capsuleSize";
inline constexpr const char* stylePreset = "stylePreset";
inline constexpr const char* customPrompt = "customPrompt";
inline constexpr const char* hasCompletedOnboarding = "hasCompletedOnboarding";
inline constexpr const char* deviceId = "deviceId";
} // namespace settingsKeys

class Settings {
public:
    explicit Settings(DefaultsStore& store) : store(store) {}

    bool commandModeEnabled() const;
    void setCommandModeEnabled(bool v);
    bool soundFeedback() const; // true when absent
    void setSoundFeedback(bool v);
    // One of the eight hotkey raw values; absent or unrecognised reads as "rightCmd".
    std::string hotkeyOption() const;
    void setHotkeyOption(const std::string& raw);
    bool hotkeyHoldMode() const;
    void setHotkeyHoldMode(bool v);
    // Stored values outside 0…65535 are ignored (read as 0): they cannot name a key.
    std::uint16_t customHotkeyCode() const;
    std::uint64_t customHotkeyFlags() const;
    std::optional<std::string> customHotkeyName() const;
    void setCustomHotkey(std::uint16_t code, std::uint64_t flags, const std::string& name);
    bool autoEnterAfterPaste() const;
    void setAutoEnterAfterPaste(bool v);
    // "small", "medium" or "large"; anything else reads as "medium".
    std::string capsuleSize() const;
    void setCapsuleSize(const std::string& size);
    std::optional<std::string> stylePreset() const;
    void setStylePreset(const std::string& preset);
    std::string customPrompt() const; // "" when absent
    void setCustomPrompt(const std::string& prompt);
    bool hasCompletedOnboarding() const;
    void setHasCompletedOnboarding(bool v);
    // Legacy: only read (and then removed) by the device-identity migration.
    std::optional<std::string> legacyDeviceId() const;
    void removeLegacyDeviceId();

    DefaultsStore& defaults() const { return store; }
    // fn(key) after each change made through this process's store, on the writing thread (views hop to the main
    // queue); until the subscription goes.
    [[nodiscard]] Subscription observeChanges(std::function<void(const std::string& key)> fn) const {
        return store.observeChanges(std::move(fn));
    }

private:
    DefaultsStore& store;
};

} // namespace vokari
