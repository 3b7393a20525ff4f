// The settings file as the app loads it (JsonFileDefaultsStore) and reads it through the typed settings; then one
// write, which keeps a corrupt file aside before replacing it. All inside the scratch directory.
#include "FuzzSupport.h"
#include "core/JsonFileDefaultsStore.h"
#include "core/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vokari::fuzz::clearScratch();
    static const auto path = vokari::fuzz::scratchDir() / "settings.json";
    vokari::fuzz::writeFile(path, vokari::fuzz::bytesOf(data, size));
    vokari::JsonFileDefaultsStore store(path, [](const std::string&) {});
    vokari::Settings settings(store);
    settings.commandModeEnabled();
    settings.soundFeedback();
    settings.hotkeyOption();
    settings.hotkeyHoldMode();
    settings.customHotkeyCode();
    settings.customHotkeyFlags();
    settings.customHotkeyName();
    settings.autoEnterAfterPaste();
    settings.capsuleSize();
    settings.stylePreset();
    settings.customPrompt();
    settings.hasCompletedOnboarding();
    settings.legacyDeviceId();
    settings.setHasCompletedOnboarding(true);
    return 0;
}
