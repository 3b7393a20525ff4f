#include "ui/OnboardingWindow.h"

#include "desktop/HotkeyOption.h"
#include "ui/BrandFonts.h"
#include "ui/ClickableView.h"
#include "ui/ViewStyle.h"

#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace vokari {

using BrandFonts::Weight;
using ViewStyle::makeLabel;

namespace {

// A rounded button face with a centred title, made clickable by a ClickableView laid over it edge to edge.
QFrame* makeButton(const QString& title, bool isPrimary, std::function<void()> action, ClickableView** clickable,
                   QWidget* parent) {
    auto* face = new QFrame(parent);
    face->setObjectName(QStringLiteral("buttonFace"));
    face->setFixedSize(180, 36);
    face->setStyleSheet(QStringLiteral("#buttonFace { background: %1; border-radius: 8px; }")
                            .arg(isPrimary ? QStringLiteral("#4ADE80") : QStringLiteral("#2C2C2E")));
    auto* label = makeLabel(title, BrandFonts::figtree(14, Weight::semibold), isPrimary ? "#1A1A1C" : "#E0E0E0", face);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(face->rect());
    auto* overlay = new ClickableView(std::move(action), face);
    overlay->setAccessibleName(title);
    overlay->setGeometry(face->rect());
    *clickable = overlay;
    return face;
}

} // namespace

OnboardingWindow::OnboardingWindow(Dependencies deps)
    : settings(deps.settings), mainQueue(deps.mainQueue), notificationCenter(deps.notificationCenter) {}

OnboardingWindow::~OnboardingWindow() {
    pendingShow.cancel();
}

bool OnboardingWindow::hasCompleted(const Settings& settings) {
    return settings.hasCompletedOnboarding();
}

void OnboardingWindow::markCompleted(Settings& settings) {
    settings.setHasCompletedOnboarding(true);
}

void OnboardingWindow::showIfNeeded() {
    if (hasCompleted(settings)) {
        return;
    }
    std::weak_ptr<int> alive = lifetime;
    pendingShow = mainQueue.postAfter(showDelay, [this, alive] {
        if (alive.lock()) {
            showPanel();
        }
    });
}

void OnboardingWindow::showPanel() {
    if (!panelWidget) {
        buildPanel();
    }
    panelWidget->show();
    panelWidget->raise();
    panelWidget->activateWindow();
}

void OnboardingWindow::buildPanel() {
    // A title bar without close, minimise or resize controls, kept above other windows. Some window managers
    // (openbox) keep a close button anyway; closing there only hides the panel, like quitting without an answer,
    // so it comes back at the next launch.
    panelWidget = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                         Qt::WindowStaysOnTopHint);
    QWidget* panel = panelWidget.get();
    panel->setObjectName(QStringLiteral("welcomePanel"));
    panel->setWindowTitle(QStringLiteral("Welcome to Vokari"));
    panel->setFixedSize(420, 340);
    ViewStyle::setBackground(panel, "#1A1A1C");
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), panel->size());
        frame.moveCenter(screen->availableGeometry().center());
        panel->move(frame.topLeft());
    }

    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(30, 40, 30, 0);
    column->setSpacing(0);
    auto* icon = new QLabel(panel);
    icon->setFixedSize(56, 56);
    icon->setPixmap(QIcon(QStringLiteral(":/icons/vokari.svg")).pixmap(QSize(56, 56), panel->devicePixelRatioF()));
    column->addWidget(icon, 0, Qt::AlignHCenter);
    column->addSpacing(16);
    column->addWidget(
        makeLabel(QStringLiteral("Welcome to Vokari"), BrandFonts::figtree(18, Weight::bold), "#F0F0F0", panel), 0,
        Qt::AlignHCenter);
    column->addSpacing(20);
    const std::string hotkey = displayName(hotkeyOption::stored(settings), settings);
    auto* hotkeyLine =
        makeLabel(QStringLiteral("Press ") + QString::fromStdString(hotkey) + QStringLiteral(" to start speaking"),
                  BrandFonts::spaceMono(14), "#4ADE80", panel);
    hotkeyLine->setObjectName(QStringLiteral("hotkeyLine"));
    hotkeyLine->setAlignment(Qt::AlignCenter);
    hotkeyLine->setWordWrap(true);
    column->addWidget(hotkeyLine);
    column->addSpacing(12);
    auto* description = makeLabel(QStringLiteral("Your words will be transcribed and pasted\nwherever your cursor is."),
                                  BrandFonts::figtree(13), "#98989D", panel);
    description->setAlignment(Qt::AlignCenter);
    description->setMaximumWidth(360);
    column->addWidget(description, 0, Qt::AlignHCenter);
    column->addSpacing(28);
    column->addWidget(makeButton(
                          QStringLiteral("Got it"), true, [this] { finish(false); }, &gotIt, panel),
                      0, Qt::AlignHCenter);
    column->addSpacing(10);

    customise = new QPushButton(QStringLiteral("Customise hotkey →"), panel);
    customise->setFlat(true);
    customise->setCursor(Qt::PointingHandCursor);
    customise->setAccessibleName(customise->text());
    customise->setFont(BrandFonts::figtree(12));
    customise->setStyleSheet(
        QStringLiteral("QPushButton { color: #6E6E73; border: none; background: transparent; padding: 0px; }"));
    QObject::connect(customise, &QPushButton::clicked, panel, [this] { finish(true); });
    column->addWidget(customise, 0, Qt::AlignHCenter);
    column->addStretch(1);
}

void OnboardingWindow::finish(bool openHotkeySettings) {
    markCompleted(settings);
    if (panelWidget) {
        panelWidget->hide();
    }
    if (!openHotkeySettings) {
        return;
    }
    std::weak_ptr<int> alive = lifetime;
    mainQueue.postAfter(settingsHopDelay, [this, alive] {
        if (alive.lock()) {
            notificationCenter.post(notifications::showHotkeySettings);
        }
    });
}

} // namespace vokari
