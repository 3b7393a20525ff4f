#pragma once
// The main window's content: a sidebar with the Home, Settings and About tabs, a top bar with the microphone
// name, and the selected tab below it. Home shows a status line that mirrors the app state and the hotkey hint.
// Builds everything at creation, then only reacts to the app state, the microphone and hotkey notifications and
// requests to show the hotkey settings. Main thread; owned by the main window. The app state, notification
// centre, settings and queue must outlive it.
#include "app/AppState.h"
#include "core/Settings.h"
#include "core/MainQueue.h"
#include "core/NotificationCenter.h"
#include "ui/AboutView.h"

#include <QWidget>

#include <array>

class QLabel;

namespace vokari {

class SidebarButton;

class MainView : public QWidget {
public:
    struct Dependencies {
        AppState& appState;
        NotificationCenter& notificationCenter;
        const Settings& settings;
        MainQueue& mainQueue;
        AboutView::Actions aboutActions;
    };

    static constexpr int homeTab = 0;
    static constexpr int settingsTab = 1;
    static constexpr int aboutTab = 2;

    explicit MainView(Dependencies deps, QWidget* parent = nullptr);

    void selectTab(int tab);
    int currentTab() const { return current; }

    QLabel* stateLabel() const { return stateText; }
    QLabel* hintLabel() const { return hintText; }
    QLabel* micLabel() const { return micText; }
    SidebarButton* sidebarButton(int tab) const { return sidebarButtons.at(tab); }
    QWidget* contentView(int tab) const { return contentViews.at(tab); }

    // The Home status line for a state: text and hex colour.
    struct StateLook {
        const char* text;
        const char* color;
    };
    static StateLook stateLook(VokariState state);

private:
    QWidget* buildSidebar();
    QWidget* buildHome();
    void bindState();
    void showState(VokariState state);
    void onMicNameChanged();
    void setHint(const std::string& hotkeyName);

    AppState& appState;
    NotificationCenter& notificationCenter;
    const Settings& settings;
    MainQueue& mainQueue;
    AboutView::Actions aboutActions;

    QLabel* stateText = nullptr;
    QLabel* hintText = nullptr;
    QLabel* micText = nullptr;
    std::array<SidebarButton*, 3> sidebarButtons{};
    std::array<QWidget*, 3> contentViews{};
    int current = -1;

    Subscription stateSubscription;
    Subscription micObserver;
    Subscription hotkeyObserver;
    Subscription showSettingsObserver;
};

} // namespace vokari
