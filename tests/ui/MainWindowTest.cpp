// The main window on Qt's offscreen platform: tabs and their looks, hover, the Home status line per state, the
// hint and microphone lines on their notifications, the About tab, and the window's close/reopen and shortcuts.
#include "OffscreenApp.h"
#include "core/AppVersion.h"
#include "core/VirtualMainQueue.h"
#include "desktop/HotkeyOption.h"
#include "ui/HexColor.h"
#include "ui/MainWindowController.h"
#include "ui/SidebarButton.h"

#include <QEnterEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace vokari;

namespace {

struct Fixture {
    MemoryDefaultsStore store;
    Settings settings{store};
    AppState appState;
    NotificationCenter centre;
    VirtualMainQueue queue;
    std::vector<QUrl> opened;
    int updateChecks = 0;
    int quits = 0;

    MainView::Dependencies deps() {
        return {appState, centre, settings, queue,
                AboutView::Actions{[this](const QUrl& url) { opened.push_back(url); }, [this] { ++updateChecks; }}};
    }
};

QColor textColor(const QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}

} // namespace

TEST(MainViewTest, TabsSwitchBySidebarAndByHotkeySettingsRequest) {
    uitest::offscreenApp();
    Fixture f;
    MainView view(f.deps());
    view.resize(640, 480);
    view.show();
    EXPECT_EQ(view.currentTab(), MainView::homeTab);

    QTest::mouseClick(view.sidebarButton(MainView::aboutTab), Qt::LeftButton);
    EXPECT_EQ(view.currentTab(), MainView::aboutTab);
    for (int tab = 0; tab < 3; ++tab) {
        EXPECT_EQ(view.contentView(tab)->isVisible(), tab == MainView::aboutTab);
        EXPECT_EQ(view.sidebarButton(tab)->isActiveState(), tab == MainView::aboutTab);
    }
    const SidebarButton* about = view.sidebarButton(MainView::aboutTab);
    const SidebarButton* home = view.sidebarButton(MainView::homeTab);
    EXPECT_DOUBLE_EQ(about->backgroundAlpha(), 0.08);
    EXPECT_EQ(about->iconTint(), colorFromHex("#E0E0E0"));
    EXPECT_EQ(textColor(about->textLabel()), colorFromHex("#F0F0F0"));
    EXPECT_EQ(about->textLabel()->font().weight(), QFont::Medium);
    EXPECT_DOUBLE_EQ(home->backgroundAlpha(), 0.0);
    EXPECT_EQ(home->iconTint(), colorFromHex("#6E6E73"));
    EXPECT_EQ(textColor(home->textLabel()), colorFromHex("#98989D"));
    EXPECT_EQ(home->textLabel()->font().weight(), QFont::Normal);

    // A click on the selected tab changes nothing.
    QTest::mouseClick(view.sidebarButton(MainView::aboutTab), Qt::LeftButton);
    EXPECT_EQ(view.currentTab(), MainView::aboutTab);
    EXPECT_TRUE(view.contentView(MainView::aboutTab)->isVisible());

    f.centre.post(notifications::showHotkeySettings);
    EXPECT_EQ(view.currentTab(), MainView::aboutTab) << "delivered through the main queue, not inline";
    f.queue.runUntilIdle();
    EXPECT_EQ(view.currentTab(), MainView::settingsTab);
    EXPECT_TRUE(view.contentView(MainView::settingsTab)->isVisible());
}

TEST(MainViewTest, HoverLightensOnlyInactiveTabsOfTheActiveWindow) {
    uitest::offscreenApp();
    Fixture f;
    MainView view(f.deps());
    view.show();
    QApplication::setActiveWindow(&view);
    ASSERT_TRUE(view.isActiveWindow());
    SidebarButton* settingsButton = view.sidebarButton(MainView::settingsTab);
    SidebarButton* homeButton = view.sidebarButton(MainView::homeTab);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QEvent leave(QEvent::Leave);

    QCoreApplication::sendEvent(settingsButton, &enter);
    EXPECT_DOUBLE_EQ(settingsButton->backgroundAlpha(), 0.04);
    QCoreApplication::sendEvent(settingsButton, &leave);
    EXPECT_DOUBLE_EQ(settingsButton->backgroundAlpha(), 0.0);

    QCoreApplication::sendEvent(homeButton, &enter);
    EXPECT_DOUBLE_EQ(homeButton->backgroundAlpha(), 0.08) << "the active tab ignores hover";
    QCoreApplication::sendEvent(homeButton, &leave);
    EXPECT_DOUBLE_EQ(homeButton->backgroundAlpha(), 0.08);
}

TEST(MainViewTest, StatusHintAndMicrophoneLinesFollowStateAndNotifications) {
    uitest::offscreenApp();
    Fixture f;
    f.settings.setHotkeyOption("rightControl");
    MainView view(f.deps());
    EXPECT_EQ(view.stateLabel()->text(), "Ready");
    EXPECT_EQ(view.hintLabel()->text(), "Right Ctrl to toggle  ·  Esc to cancel");
    EXPECT_EQ(view.micLabel()->text(), "System Default");

    const struct {
        VokariState state;
        const char* text;
        const char* color;
    } looks[] = {{VokariState::listening, "● Recording", "#4ADE80"},
                 {VokariState::processing, "Processing…", "#4ADE80"},
                 {VokariState::error, "Error", "#FF453A"},
                 {VokariState::idle, "Ready", "#555555"}};
    for (const auto& look : looks) {
        f.appState.state = look.state;
        f.queue.runUntilIdle();
        EXPECT_EQ(view.stateLabel()->text(), QString::fromUtf8(look.text));
        EXPECT_EQ(textColor(view.stateLabel()), colorFromHex(look.color)) << look.text;
    }

    f.centre.post(notifications::hotkeyChanged, HotkeyOption::leftOption);
    f.queue.runUntilIdle();
    EXPECT_EQ(view.hintLabel()->text(), "Left Alt to toggle  ·  Esc to cancel");
    f.centre.post(notifications::hotkeyChanged, std::string("leftCmd"));
    f.centre.post(notifications::hotkeyChanged);
    f.queue.runUntilIdle();
    EXPECT_EQ(view.hintLabel()->text(), "Left Alt to toggle  ·  Esc to cancel") << "other objects are ignored";

    f.appState.currentMicName = std::string("USB Microphone");
    EXPECT_EQ(view.micLabel()->text(), "System Default") << "the label follows the notification, not the property";
    f.centre.post(notifications::micNameChanged);
    f.queue.runUntilIdle();
    EXPECT_EQ(view.micLabel()->text(), "USB Microphone");
}

TEST(MainViewTest, AboutTabShowsVersionAndLinksAndRunsItsActions) {
    uitest::offscreenApp();
    Fixture f;
    MainView view(f.deps());
    QWidget* about = view.contentView(MainView::aboutTab);
    auto* version = about->findChild<QLabel*>("version");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("Version ") + QString::fromUtf8(appVersion()));
    EXPECT_FALSE(QString::fromUtf8(appVersion()).isEmpty());
    EXPECT_EQ(AboutView::versionText(QString()), "Version ?");

    auto* website = about->findChild<QPushButton*>("website");
    auto* support = about->findChild<QPushButton*>("support");
    auto* update = about->findChild<QPushButton*>("checkForUpdates");
    ASSERT_TRUE(website && support && update);
    EXPECT_EQ(website->text(), AboutView::websiteUrl().host());
    EXPECT_FALSE(website->text().isEmpty());
    EXPECT_EQ(support->text(), AboutView::supportMailUrl().path());
    EXPECT_TRUE(support->text().contains('@'));
    website->click();
    support->click();
    update->click();
    ASSERT_EQ(f.opened.size(), 2u);
    EXPECT_EQ(f.opened[0].scheme(), "https");
    EXPECT_EQ(f.opened[1].scheme(), "mailto");
    EXPECT_EQ(f.updateChecks, 1);
    QStringList texts;
    for (auto* label : about->findChildren<QLabel*>()) {
        texts << label->text();
    }
    EXPECT_TRUE(texts.contains("Voice to text, instantly."));
    EXPECT_TRUE(texts.contains("Support"));
    EXPECT_TRUE(texts.contains("Built by Korvath Labs"));
}

TEST(MainWindowControllerTest, ClosingHidesTheSameWindowAndShortcutsCloseAndQuit) {
    uitest::offscreenApp();
    Fixture f;
    MainWindowController controller(f.deps(), [&f] { ++f.quits; });
    QWidget* window = controller.window();
    EXPECT_EQ(window->windowTitle(), "Vokari");
    EXPECT_EQ(window->minimumSize(), QSize(500, 380));
    EXPECT_EQ(window->size(), QSize(640, 480));

    controller.showAndFocus();
    ASSERT_TRUE(window->isVisible());
    QApplication::setActiveWindow(window);
    QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible());
    controller.showAndFocus();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(controller.window(), window);
    QApplication::setActiveWindow(window);
    QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(f.quits, 1);
}
