#pragma once
// The status item: a tray icon that is one coloured dot for the app state (white idle, orange listening, green
// processing, red error). Left click opens the main window; right click opens a menu built afresh at each
// opening, so its recording entry and microphone line are current. Without a tray host it logs one line and
// the app carries on. Main thread; owned by the app wiring. The app state and queue must outlive it.
#include "app/AppState.h"
#include "core/MainQueue.h"

#include <QColor>
#include <QIcon>

#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace vokari {

class StatusTrayIcon {
public:
    struct Actions {
        std::function<void()> openMainWindow;
        std::function<void()> toggleRecording;
        std::function<void()> checkForUpdates; // absent: the entry is shown disabled
        std::function<void()> quit;
        // "Retry Last Dictation" shows only while hasUnsentRecording answers true (absent: never).
        std::function<bool()> hasUnsentRecording;
        std::function<void()> retryLastDictation;
    };

    StatusTrayIcon(AppState& appState, MainQueue& mainQueue, Actions actions);
    ~StatusTrayIcon();
    StatusTrayIcon(const StatusTrayIcon&) = delete;
    StatusTrayIcon& operator=(const StatusTrayIcon&) = delete;

    // Shows the icon drawn for `idle`; logs once when the desktop has no tray.
    void setupMenuBar();
    // Redraws the dot for every state from now on, delivered through the main queue.
    void bindState();
    void updateMenuBarIcon(VokariState state);

    // Fills `menu` with the context menu for the current state, microphone and version.
    void buildContextMenu(QMenu& menu) const;

    static QColor dotColor(VokariState state);
    static QIcon dotIcon(VokariState state);

    QSystemTrayIcon* trayIcon() const { return tray.get(); }
    QMenu* contextMenu() const { return menu.get(); }
    // The state the dot is currently drawn for.
    VokariState shownState() const { return shown; }

private:
    AppState& appState;
    MainQueue& mainQueue;
    Actions actions;
    std::unique_ptr<QMenu> menu;
    std::unique_ptr<QSystemTrayIcon> tray;
    VokariState shown = VokariState::idle;
    Subscription stateSubscription;
    std::shared_ptr<int> lifetime = std::make_shared<int>(0);
};

} // namespace vokari
