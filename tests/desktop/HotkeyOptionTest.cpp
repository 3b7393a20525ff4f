#include "desktop/HotkeyOption.h"
#include "core/DefaultsStore.h"

#include <gtest/gtest.h>

#include <set>

namespace vokari {
namespace {

TEST(HotkeyOption, CustomKeyComesFromTheStoredKeyAndFnSaysItIsUnavailable) {
    MemoryDefaultsStore store;
    Settings settings(store);
    EXPECT_EQ(displayName(HotkeyOption::custom, settings), "Custom Key");
    EXPECT_EQ(keyCode(HotkeyOption::custom, settings), 0);

    hotkeyOption::saveCustomKey(96, 0x800000, "F5", settings);
    EXPECT_EQ(displayName(HotkeyOption::custom, settings), "F5");
    EXPECT_EQ(keyCode(HotkeyOption::custom, settings), 96);
    EXPECT_EQ(flagMask(HotkeyOption::custom, settings), 0x800000u);
    // Recording a key does not select it.
    EXPECT_EQ(hotkeyOption::stored(settings), HotkeyOption::rightCmd);

    EXPECT_NE(displayName(HotkeyOption::fn, settings).find("not available"), std::string::npos);
    // Every option has a distinct name, so the settings list never shows two alike.
    std::set<std::string> names;
    for (auto option : kAllHotkeyOptions) {
        names.insert(displayName(option, settings));
    }
    EXPECT_EQ(names.size(), kAllHotkeyOptions.size());
}

} // namespace
} // namespace vokari
