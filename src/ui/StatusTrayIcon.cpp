#include "ui/StatusTrayIcon.h"

#include "core/AppVersion.h"
#include "core/DebugLog.h"
#include "ui/HexColor.h"

#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

namespace vokari {

namespace {

void run(const std::function<void()>& fn) {
    if (fn) {
        fn();
    }
}

} // namespace

StatusTrayIcon::StatusTrayIcon(AppState& state, MainQueue& queue, Actions acts)
    : appState(state), mainQueue(queue), actions(std::move(acts)), menu(std::make_unique<QMenu>()),
      tray(std::make_unique<QSystemTrayIcon>()) {
    tray->setToolTip(QStringLiteral("Vokari"));
    // Built when it opens, never before: the recording entry and the microphone line must be current.
    QObject::connect(menu.get(), &QMenu::aboutToShow, menu.get(), [this] { buildContextMenu(*menu); });
    tray->setContextMenu(menu.get());
    QObject::connect(tray.get(), &QSystemTrayIcon::activated, tray.get(),
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                             run(actions.openMainWindow);
                         }
                     });
}

StatusTrayIcon::~StatusTrayIcon() {
    stateSubscription.reset();
    tray->hide();
}

QColor StatusTrayIcon::dotColor(VokariState state) {
    switch (state) {
    case VokariState::idle:
        return QColor::fromRgbF(1, 1, 1, 0.85f);
    case VokariState::listening:
        return colorFromHex("#FF9F0A");
    case VokariState::processing:
        return colorFromHex("#30D158");
    case VokariState::error:
        return colorFromHex("#FF453A");
    }
    return QColor::fromRgbF(1, 1, 1, 0.85f);
}

// The dot fills the whole icon; the tray scales it to its own icon size.
QIcon StatusTrayIcon::dotIcon(VokariState state) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(dotColor(state));
        painter.drawEllipse(QRectF(0, 0, size, size));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void StatusTrayIcon::setupMenuBar() {
    updateMenuBarIcon(VokariState::idle);
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        debugLog("⚠️ No system tray on this desktop: the status icon stays hidden until one appears");
    }
    tray->show();
}

void StatusTrayIcon::bindState() {
    std::weak_ptr<int> alive = lifetime;
    stateSubscription = appState.state.subscribe([this, alive](VokariState state) {
        mainQueue.post([this, alive, state] {
            if (alive.lock()) {
                updateMenuBarIcon(state);
            }
        });
    });
}

void StatusTrayIcon::updateMenuBarIcon(VokariState state) {
    shown = state;
    tray->setIcon(dotIcon(state));
}

void StatusTrayIcon::buildContextMenu(QMenu& target) const {
    target.clear();
    const bool listening = appState.state.get() == VokariState::listening;
    QAction* toggle =
        target.addAction(listening ? QStringLiteral("Stop Recording") : QStringLiteral("Start Recording"));
    QObject::connect(toggle, &QAction::triggered, toggle, [fn = actions.toggleRecording] { run(fn); });
    if (actions.hasUnsentRecording && actions.hasUnsentRecording()) {
        QAction* retry = target.addAction(QStringLiteral("Retry Last Dictation"));
        retry->setEnabled(appState.state.get() == VokariState::idle);
        QObject::connect(retry, &QAction::triggered, retry, [fn = actions.retryLastDictation] { run(fn); });
    }
    target.addSeparator();
    QAction* open = target.addAction(QStringLiteral("Open Window"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    QObject::connect(open, &QAction::triggered, open, [fn = actions.openMainWindow] { run(fn); });
    target.addSeparator();
    const auto& mic = appState.currentMicName.get();
    QAction* micLine = target.addAction(QStringLiteral("🎤 ") +
                                        (mic ? QString::fromStdString(*mic) : QStringLiteral("System Default")));
    micLine->setEnabled(false);
    target.addSeparator();
    const QString version = QString::fromUtf8(appVersion());
    QAction* versionLine =
        target.addAction(QStringLiteral("Version ") + (version.isEmpty() ? QStringLiteral("?") : version));
    versionLine->setEnabled(false);
    QAction* updates = target.addAction(QStringLiteral("Check for Updates…"));
    updates->setEnabled(static_cast<bool>(actions.checkForUpdates));
    QObject::connect(updates, &QAction::triggered, updates, [fn = actions.checkForUpdates] { run(fn); });
    target.addSeparator();
    QAction* quit = target.addAction(QStringLiteral("Quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QObject::connect(quit, &QAction::triggered, quit, [fn = actions.quit] { run(fn); });
}

} // namespace vokari
