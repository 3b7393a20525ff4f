#pragma once
// The first-run welcome panel: 0.8 s after launch, until the user has pressed one of its two controls once, a
// small always-on-top panel names the key that starts dictation. "Got it" and "Customise hotkey →" both mark
// onboarding completed; the latter also asks the main window, 0.2 s later, to show the hotkey settings.
// Main thread; owned by the app wiring. Settings, queue and notification centre must outlive it.
#include "core/Settings.h"
#include "core/MainQueue.h"
#include "core/NotificationCenter.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class QPushButton;

namespace vokari {

class ClickableView;

class OnboardingWindow {
public:
    struct Dependencies {
        Settings& settings;
        MainQueue& mainQueue;
        NotificationCenter& notificationCenter;
    };

    static constexpr double showDelay = 0.8;
    static constexpr double settingsHopDelay = 0.2;

    explicit OnboardingWindow(Dependencies deps);
    ~OnboardingWindow();
    OnboardingWindow(const OnboardingWindow&) = delete;
    OnboardingWindow& operator=(const OnboardingWindow&) = delete;

    static bool hasCompleted(const Settings& settings);
    static void markCompleted(Settings& settings);

    void showIfNeeded();

    // The panel once shown (null before), its two controls, and whether it is on screen.
    QWidget* panel() const { return panelWidget.get(); }
    ClickableView* primaryButton() const { return gotIt; }
    QPushButton* customiseLink() const { return customise; }
    bool isShowing() const { return panelWidget && panelWidget->isVisible(); }

private:
    void showPanel();
    void buildPanel();
    void finish(bool openHotkeySettings);

    Settings& settings;
    MainQueue& mainQueue;
    NotificationCenter& notificationCenter;
    std::unique_ptr<QWidget> panelWidget;
    ClickableView* gotIt = nullptr;
    QPushButton* customise = nullptr;
    TaskHandle pendingShow;
    std::shared_ptr<int> lifetime = std::make_shared<int>(0);
};

} // namespace vokari
