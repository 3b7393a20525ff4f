// The app reading a downloaded profile ("/profile") and merging it into empty settings and an absent local
// vocabulary file (inside the scratch directory).
#include "FuzzSupport.h"
#include "QuietLog.h"
#include "app/ProfileMerge.h"
#include "core/JsonText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vokari::fuzz::quietLog();
    auto profile = vokari::JsonText::parseObject(vokari::fuzz::bytesOf(data, size));
    if (!profile) {
        return 0;
    }
    vokari::fuzz::clearScratch();
    vokari::MemoryDefaultsStore store;
    vokari::Settings settings(store);
    vokari::applyProfile(*profile, settings, vokari::fuzz::scratchDir() / "vocabulary.json");
    settings.stylePreset();
    settings.customPrompt();
    return 0;
}
