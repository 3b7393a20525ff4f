#include "app/AppState.h"
#include "core/Settings.h"
#include "desktop/HotkeyOption.h"

#include <gtest/gtest.h>

using namespace vokari;

TEST(Settings, FreshInstallationReadsTheDocumentedDefaults) {
    MemoryDefaultsStore store;
    Settings s(store);
    EXPECT_TRUE(s.soundFeedback());
    EXPECT_FALSE(s.commandModeEnabled());
    EXPECT_FALSE(s.hotkeyHoldMode());
    EXPECT_FALSE(s.autoEnterAfterPaste());
    EXPECT_FALSE(s.hasCompletedOnboarding());
    EXPECT_EQ(s.hotkeyOption(), "rightCmd");
    EXPECT_EQ(hotkeyOption::stored(s), HotkeyOption::rightCmd);
    EXPECT_EQ(s.capsuleSize(), "medium");
    EXPECT_EQ(s.customPrompt(), "");
    EXPECT_FALSE(s.stylePreset());
    EXPECT_FALSE(s.customHotkeyName());
    EXPECT_EQ(s.customHotkeyCode(), 0);
}

TEST(Settings, StoredValuesWinAndUnrecognisedOnesFallBack) {
    MemoryDefaultsStore store;
    Settings s(store);
    s.setSoundFeedback(false);
    EXPECT_FALSE(s.soundFeedback()) << "a stored false must not be replaced by the default";

    store.setString("hotkeyOption", "rightcmd"); // wrong case
    EXPECT_EQ(s.hotkeyOption(), "rightCmd");
    store.setInteger("hotkeyOption", 3);
    EXPECT_EQ(s.hotkeyOption(), "rightCmd");
    hotkeyOption::save(HotkeyOption::leftOption, s);
    EXPECT_EQ(hotkeyOption::stored(s), HotkeyOption::leftOption);

    store.setString("capsuleSize", "huge");
    EXPECT_EQ(s.capsuleSize(), "medium");
    s.setCapsuleSize("small");
    EXPECT_EQ(s.capsuleSize(), "small");

    store.setInteger("customHotkeyCode", 70000);
    EXPECT_EQ(s.customHotkeyCode(), 0) << "out-of-range key codes name no key";
    s.setCustomHotkey(96, 0x800000, "F5");
    EXPECT_EQ(s.customHotkeyCode(), 96);
    EXPECT_EQ(s.customHotkeyFlags(), 0x800000u);
    EXPECT_EQ(s.customHotkeyName(), "F5");

    store.setString("deviceId", "ABC");
    EXPECT_EQ(s.legacyDeviceId(), "ABC");
    s.removeLegacyDeviceId();
    EXPECT_FALSE(s.legacyDeviceId());
}

TEST(AppState, StartsIdleAndPublishesEveryAssignmentAfterObjectWillChange) {
    AppState state;
    EXPECT_EQ(state.state(), VokariState::idle);
    EXPECT_FALSE(state.isDictating());
    EXPECT_FALSE(state.currentMicName());

    std::vector<std::string> events;
    auto will = state.objectWillChange.subscribe([&] { events.push_back("will"); });
    auto sub = state.state.subscribe([&](VokariState s) { events.push_back(std::string(rawValue(s))); });
    state.state = VokariState::idle;
    state.isDictating = true;
    EXPECT_EQ(events, (std::vector<std::string>{"idle", "will", "idle", "will"}));

    state.state = VokariState::processing;
    std::vector<VokariState> late;
    auto lateSub = state.state.subscribe([&](VokariState s) { late.push_back(s); });
    EXPECT_EQ(late, std::vector<VokariState>{VokariState::processing});
}

TEST(AppState, StateRawValuesRoundTripAndNothingElseParses) {
    for (auto s : {VokariState::idle, VokariState::listening, VokariState::processing, VokariState::error}) {
        EXPECT_EQ(vokariStateFromRaw(rawValue(s)), s);
    }
    EXPECT_FALSE(vokariStateFromRaw("Idle"));
    EXPECT_FALSE(vokariStateFromRaw(""));
}
