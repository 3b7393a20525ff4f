#pragma once
// The main window's content: a sidebar with the Home, Settings and About tabs, a top bar with the microphone
// name, and the selected tab below it. Home shows a status line that mirrors the app state and the hotkey hint.
// Builds everything at creation, then only reacts to the app state, the microphone and hotkey notifications and
// requests to show the hotkey settings. Main thread; owned by the main window. The app state, notification
// centre, settings and queue must outlive it.
#include "app/AppState.h"
#include "app/DesktopServices.h"
#include "core/MainQueue.h"
#include "core/NotificationCenter.h"
#include "core/Settings.h"
#include "ui/AboutView.h"
#include "ui/SettingsView.h"
#include "ui/TranscriptView.h"

#include <QWidget>

#include <array>

class QLabel;

namespace vokari {

class SidebarButton;

class MainView : public QWidget, public TranscriptSink {
public:
    struct Dependencies {
        AppState& appState;
        NotificationCenter& notificationCenter;
        Settings& settings;
        MainQueue& mainQueue;
        AboutView::Actions aboutActions;
        TranscriptView::HistoryFetcher fetchHistory = nullptr;
        SettingsView::Services settingsServices = {};
        std::shared_ptr<KeptRecordings> keptRecordings = nullptr;
        std::function<void(const std::string& id)> retryRecording = nullptr;
    };

    static constexpr int homeTab = 0;
    static constexpr int settingsTab = 1;
    static constexpr int aboutTab = 2;

    explicit MainView(Dependencies deps, QWidget* parent = nullptr);

    void selectTab(int tab);
    // Adds a pasted dictation to the Home tab's history; any thread.
    void pushTranscript(const std::string& text) override;
    int currentTab() const { return current; }

    QLabel* stateLabel() const { return stateText; }
    QLabel* hintLabel() const { return hintText; }
    QLabel* micLabel() const { return micText; }
    SidebarButton* sidebarButton(int tab) const { return sidebarButtons.at(tab); }
    QWidget* contentView(int tab) const { return contentViews.at(tab); }
    TranscriptView* transcriptView() const { return transcripts; }
    SettingsView* settingsView() const { return settingsTabView; }

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
    Settings& settings;
    MainQueue& mainQueue;
    AboutView::Actions aboutActions;
    TranscriptView::HistoryFetcher fetchHistory;
    SettingsView::Services settingsServices;
    std::shared_ptr<KeptRecordings> keptRecordings;
    std::function<void(const std::string& id)> retryRecording;
    TranscriptView* transcripts = nullptr;
    SettingsView* settingsTabView = nullptr;

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
