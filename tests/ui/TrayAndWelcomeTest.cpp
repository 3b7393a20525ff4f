// The tray icon's dot and context menu, the welcome panel's flow on virtual time, and the clickable overlay, on
// Qt's offscreen platform.
#include "OffscreenApp.h"
#include "core/AppVersion.h"
#include "core/VirtualMainQueue.h"
#include "ui/ClickableView.h"
#include "ui/HexColor.h"
#include "ui/OnboardingWindow.h"
#include "ui/StatusTrayIcon.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace vokari;

namespace {

struct MenuLine {
    QString text;
    bool enabled;
};

std::vector<MenuLine> lines(const QMenu& menu) {
    std::vector<MenuLine> out;
    for (QAction* action : menu.actions()) {
        out.push_back({action->isSeparator() ? QStringLiteral("---") : action->text(), action->isEnabled()});
    }
    return out;
}

QAction* actionNamed(const QMenu& menu, const QString& text) {
    for (QAction* action : menu.actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

} // namespace

TEST(StatusTrayIconTest, MenuIsBuiltForTheCurrentStateAndItsItemsRunTheirActions) {
    uitest::offscreenApp();
    AppState appState;
    VirtualMainQueue queue;
    int opens = 0, toggles = 0, quits = 0;
    StatusTrayIcon tray(appState, queue,
                        {[&] { ++opens; }, [&] { ++toggles; }, nullptr, [&] { ++quits; }, nullptr, nullptr});
    QMenu menu;
    tray.buildContextMenu(menu);
    const QString version = QStringLiteral("Version ") + QString::fromUtf8(appVersion());
    const std::vector<std::pair<QString, bool>> idle = {{"Start Recording", true},
                                                        {"---", true},
                                                        {"Open Window", true},
                                                        {"---", true},
                                                        {"🎤 System Default", false},
                                                        {"---", true},
                                                        {version, false},
                                                        {"Check for Updates…", false},
                                                        {"---", true},
                                                        {"Quit", true}};
    auto got = lines(menu);
    ASSERT_EQ(got.size(), idle.size());
    for (std::size_t i = 0; i < idle.size(); ++i) {
        EXPECT_EQ(got[i].text, idle[i].first) << i;
        EXPECT_EQ(got[i].enabled, idle[i].second) << got[i].text.toStdString();
    }

    appState.state = VokariState::listening;
    appState.currentMicName = std::string("USB Microphone");
    tray.buildContextMenu(menu);
    got = lines(menu);
    ASSERT_EQ(got.size(), idle.size()) << "rebuilt, not appended";
    EXPECT_EQ(got[0].text, "Stop Recording");
    EXPECT_EQ(got[4].text, "🎤 USB Microphone");

    actionNamed(menu, "Stop Recording")->trigger();
    actionNamed(menu, "Open Window")->trigger();
    actionNamed(menu, "Quit")->trigger();
    EXPECT_EQ(toggles, 1);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(quits, 1);

    // With an updater the update entry is enabled; the menu opened from the tray fills itself when shown.
    StatusTrayIcon withUpdates(appState, queue, {nullptr, nullptr, [] {}, nullptr, nullptr, nullptr});
    Q_EMIT withUpdates.contextMenu()->aboutToShow();
    ASSERT_NE(actionNamed(*withUpdates.contextMenu(), "Check for Updates…"), nullptr);
    EXPECT_TRUE(actionNamed(*withUpdates.contextMenu(), "Check for Updates…")->isEnabled());
}

TEST(StatusTrayIconTest, RetryLastDictationShowsOnlyWhileOneIsKeptRightAfterTheRecordingEntry) {
    uitest::offscreenApp();
    AppState appState;
    VirtualMainQueue queue;
    bool kept = false;
    int retries = 0;
    StatusTrayIcon tray(appState, queue, {[] {}, [] {}, nullptr, [] {}, [&] { return kept; }, [&] { ++retries; }});
    QMenu menu;
    tray.buildContextMenu(menu);
    EXPECT_EQ(actionNamed(menu, "Retry Last Dictation"), nullptr);
    const auto without = lines(menu);

    kept = true;
    tray.buildContextMenu(menu);
    auto got = lines(menu);
    ASSERT_EQ(got.size(), without.size() + 1);
    EXPECT_EQ(got[0].text, "Start Recording");
    EXPECT_EQ(got[1].text, "Retry Last Dictation");
    EXPECT_TRUE(got[1].enabled);
    for (std::size_t i = 1; i < without.size(); ++i) {
        EXPECT_EQ(got[i + 1].text, without[i].text) << "the rest of the menu is unchanged";
    }
    actionNamed(menu, "Retry Last Dictation")->trigger();
    EXPECT_EQ(retries, 1);

    appState.state = VokariState::listening;
    tray.buildContextMenu(menu);
    EXPECT_FALSE(actionNamed(menu, "Retry Last Dictation")->isEnabled()) << "not in the middle of a recording";
}

TEST(StatusTrayIconTest, DotTakesTheStateColourThroughTheMainQueue) {
    uitest::offscreenApp();
    EXPECT_EQ(StatusTrayIcon::dotColor(VokariState::idle), QColor::fromRgbF(1, 1, 1, 0.85f));
    EXPECT_EQ(StatusTrayIcon::dotColor(VokariState::listening), colorFromHex("#FF9F0A"));
    EXPECT_EQ(StatusTrayIcon::dotColor(VokariState::processing), colorFromHex("#30D158"));
    EXPECT_EQ(StatusTrayIcon::dotColor(VokariState::error), colorFromHex("#FF453A"));
    // The dot fills the icon: its centre has the colour, its corners are transparent.
    const QImage image = StatusTrayIcon::dotIcon(VokariState::listening).pixmap(32, 32).toImage();
    EXPECT_EQ(image.pixelColor(16, 16), colorFromHex("#FF9F0A"));
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);

    AppState appState;
    VirtualMainQueue queue;
    StatusTrayIcon tray(appState, queue, {});
    tray.setupMenuBar();
    tray.bindState();
    appState.state = VokariState::processing;
    EXPECT_EQ(tray.shownState(), VokariState::idle);
    queue.runUntilIdle();
    EXPECT_EQ(tray.shownState(), VokariState::processing);
    appState.state = VokariState::error;
    queue.runUntilIdle();
    EXPECT_EQ(tray.shownState(), VokariState::error);
}

TEST(OnboardingWindowTest, ShownAfterDelayUntilAControlIsUsedThenNeverAgain) {
    uitest::offscreenApp();
    MemoryDefaultsStore store;
    Settings settings(store);
    VirtualMainQueue queue;
    NotificationCenter centre;
    int settingsRequests = 0;
    auto observer = centre.addObserver(notifications::showHotkeySettings, [&](const std::any&) { ++settingsRequests; });

    {
        // First launch; the user quits without pressing anything.
        OnboardingWindow onboarding({settings, queue, centre});
        onboarding.showIfNeeded();
        queue.advance(0.79);
        EXPECT_EQ(onboarding.panel(), nullptr);
        queue.advance(0.01);
        ASSERT_TRUE(onboarding.isShowing());
        auto* hotkey = onboarding.panel()->findChild<QLabel*>("hotkeyLine");
        ASSERT_NE(hotkey, nullptr);
        EXPECT_EQ(hotkey->text(), "Press Right Super to start speaking");
        EXPECT_TRUE(onboarding.panel()->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_FALSE(onboarding.panel()->windowFlags() & Qt::WindowCloseButtonHint);
        // A window manager that closes it anyway only hides it.
        onboarding.panel()->close();
        EXPECT_FALSE(onboarding.isShowing());
    }
    EXPECT_FALSE(OnboardingWindow::hasCompleted(settings));

    {
        // Second launch: shown again; "Customise hotkey →" completes it and asks for the settings 0.2 s later.
        settings.setHotkeyOption("leftOption");
        OnboardingWindow onboarding({settings, queue, centre});
        onboarding.showIfNeeded();
        queue.advance(0.8);
        ASSERT_TRUE(onboarding.isShowing());
        EXPECT_EQ(onboarding.panel()->findChild<QLabel*>("hotkeyLine")->text(), "Press Left Alt to start speaking");
        onboarding.customiseLink()->click();
        EXPECT_FALSE(onboarding.isShowing());
        EXPECT_TRUE(OnboardingWindow::hasCompleted(settings));
        queue.advance(0.19);
        EXPECT_EQ(settingsRequests, 0);
        queue.advance(0.01);
        EXPECT_EQ(settingsRequests, 1);
    }

    {
        // Completed: never shown again.
        OnboardingWindow onboarding({settings, queue, centre});
        onboarding.showIfNeeded();
        queue.advance(5);
        EXPECT_EQ(onboarding.panel(), nullptr);
    }

    {
        // "Got it" completes it too; the object going away before the delay cancels the panel.
        MemoryDefaultsStore fresh;
        Settings freshSettings(fresh);
        {
            OnboardingWindow early({freshSettings, queue, centre});
            early.showIfNeeded();
        }
        queue.advance(1);
        OnboardingWindow onboarding({freshSettings, queue, centre});
        onboarding.showIfNeeded();
        queue.advance(0.8);
        ASSERT_TRUE(onboarding.isShowing());
        onboarding.primaryButton()->click();
        EXPECT_FALSE(onboarding.isShowing());
        EXPECT_TRUE(OnboardingWindow::hasCompleted(freshSettings));
        queue.advance(1);
        EXPECT_EQ(settingsRequests, 1);
    }
}

TEST(ClickableViewTest, DimsItsParentWhilePressedAndActsOnlyOnReleaseInside) {
    uitest::offscreenApp();
    QWidget face;
    face.resize(180, 36);
    int runs = 0;
    auto* overlay = new ClickableView([&] { ++runs; }, &face);
    overlay->setGeometry(face.rect());
    face.show();

    QTest::mousePress(overlay, Qt::LeftButton, {}, QPoint(90, 18));
    EXPECT_DOUBLE_EQ(overlay->parentOpacity(), 0.8);
    QTest::mouseRelease(overlay, Qt::LeftButton, {}, QPoint(90, 18));
    EXPECT_DOUBLE_EQ(overlay->parentOpacity(), 1.0);
    EXPECT_EQ(runs, 1);

    // Pressed inside, dragged out, released outside: full opacity again and nothing happens.
    QTest::mousePress(overlay, Qt::LeftButton, {}, QPoint(90, 18));
    QTest::mouseMove(overlay, QPoint(400, 200));
    QTest::mouseRelease(overlay, Qt::LeftButton, {}, QPoint(400, 200));
    EXPECT_DOUBLE_EQ(overlay->parentOpacity(), 1.0);
    EXPECT_EQ(runs, 1);
}
