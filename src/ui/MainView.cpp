#include "ui/MainView.h"

#include "desktop/HotkeyOption.h"
#include "ui/BrandFonts.h"
#include "ui/SidebarButton.h"
#include "ui/ViewStyle.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace vokari {

using BrandFonts::Weight;
using ViewStyle::makeLabel;

namespace {

const char* const kHintSuffix = " to toggle  ·  Esc to cancel";

struct TabInfo {
    const char* themeIcon;
    const char* fallbackIcon;
    const char* title;
};
// Theme names of the same meaning as the sidebar symbols, with bundled drawings where the theme has none.
constexpr std::array<TabInfo, 3> kTabs = {{
    {"go-home", ":/icons/home.svg", "Home"},
    {"preferences-system", ":/icons/settings.svg", "Settings"},
    {"help-about", ":/icons/about.svg", "About"},
}};

} // namespace

MainView::MainView(Dependencies deps, QWidget* parent)
    : QWidget(parent), appState(deps.appState), notificationCenter(deps.notificationCenter), settings(deps.settings),
      mainQueue(deps.mainQueue), aboutActions(std::move(deps.aboutActions)), fetchHistory(std::move(deps.fetchHistory)),
      settingsServices(std::move(deps.settingsServices)), keptRecordings(std::move(deps.keptRecordings)),
      retryRecording(std::move(deps.retryRecording)) {
    ViewStyle::setBackground(this, "#1A1A1C");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(buildSidebar());

    auto* main = new QWidget(this);
    auto* column = new QVBoxLayout(main);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* topBar = new QWidget(main);
    topBar->setFixedHeight(38);
    auto* barRow = new QHBoxLayout(topBar);
    barRow->setContentsMargins(0, 0, 16, 0);
    barRow->addStretch(1);
    micText = makeLabel(QString(), BrandFonts::figtree(11), "#98989D", topBar);
    micText->setObjectName(QStringLiteral("micLabel"));
    barRow->addWidget(micText, 0, Qt::AlignVCenter);
    column->addWidget(topBar);

    auto* content = new QWidget(main);
    auto* stack = new QStackedLayout(content);
    stack->setStackingMode(QStackedLayout::StackAll);
    contentViews[homeTab] = buildHome();
    settingsTabView =
        new SettingsView({appState, notificationCenter, settings, mainQueue, std::move(settingsServices)}, content);
    contentViews[settingsTab] = settingsTabView;
    contentViews[aboutTab] = new AboutView(aboutActions, content);
    for (QWidget* view : contentViews) {
        view->setParent(content);
        stack->addWidget(view);
    }
    column->addWidget(content, 1);
    row->addWidget(main, 1);

    onMicNameChanged();
    selectTab(homeTab);
    bindState();
}

QWidget* MainView::buildSidebar() {
    auto* sidebar = new QWidget(this);
    sidebar->setObjectName(QStringLiteral("sidebar"));
    sidebar->setFixedWidth(150);
    ViewStyle::setBackground(sidebar, "#111113");
    auto* column = new QVBoxLayout(sidebar);
    column->setContentsMargins(12, 52, 12, 16);
    column->setSpacing(2);
    for (int tab = 0; tab < 3; ++tab) {
        const TabInfo& info = kTabs[tab];
        QIcon icon =
            QIcon::fromTheme(QString::fromLatin1(info.themeIcon), QIcon(QString::fromLatin1(info.fallbackIcon)));
        auto* button = new SidebarButton(icon, QString::fromLatin1(info.title), tab, sidebar);
        connect(button, &QAbstractButton::clicked, this, [this, tab] { selectTab(tab); });
        sidebarButtons[tab] = button;
        column->addWidget(button);
    }
    column->addStretch(1);
    auto* name = makeLabel(QStringLiteral("Vokari"), BrandFonts::figtree(12, Weight::semibold), "#3A3A3C", sidebar);
    name->setAlignment(Qt::AlignCenter);
    column->addWidget(name, 0, Qt::AlignHCenter);
    return sidebar;
}

QWidget* MainView::buildHome() {
    auto* home = new QWidget(this);
    auto* column = new QVBoxLayout(home);
    column->setContentsMargins(0, 12, 0, 12);
    column->setSpacing(12);
    auto* statusRow = new QHBoxLayout();
    statusRow->setContentsMargins(20, 0, 20, 0);
    stateText = makeLabel(QStringLiteral("Ready"), BrandFonts::figtree(11, Weight::medium), "#555555", home);
    stateText->setObjectName(QStringLiteral("stateLabel"));
    hintText = makeLabel(QString(), BrandFonts::spaceMono(10), "#3A3A3C", home);
    hintText->setObjectName(QStringLiteral("hintLabel"));
    hintText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setHint(displayName(hotkeyOption::stored(settings), settings));
    statusRow->addWidget(stateText, 0, Qt::AlignVCenter);
    statusRow->addStretch(1);
    statusRow->addWidget(hintText, 0, Qt::AlignVCenter);
    column->addLayout(statusRow);
    transcripts = new TranscriptView(
        {settings, notificationCenter, mainQueue, std::move(fetchHistory), keptRecordings, retryRecording}, home);
    transcripts->setObjectName(QStringLiteral("transcriptView"));
    auto* placeRow = new QHBoxLayout();
    placeRow->setContentsMargins(16, 0, 16, 0);
    placeRow->addWidget(transcripts);
    column->addLayout(placeRow, 1);
    return home;
}

void MainView::selectTab(int tab) {
    if (tab < 0 || tab >= 3) {
        return;
    }
    current = tab;
    for (int i = 0; i < 3; ++i) {
        contentViews[i]->setVisible(i == tab);
        sidebarButtons[i]->setActive(i == tab);
    }
}

void MainView::pushTranscript(const std::string& text) {
    transcripts->addEntry(text);
}

MainView::StateLook MainView::stateLook(VokariState state) {
    switch (state) {
    case VokariState::idle:
        return {"Ready", "#555555"};
    case VokariState::listening:
        return {"● Recording", "#4ADE80"};
    case VokariState::processing:
        return {"Processing…", "#4ADE80"};
    case VokariState::error:
        return {"Error", "#FF453A"};
    }
    return {"Ready", "#555555"};
}

void MainView::showState(VokariState state) {
    const StateLook look = stateLook(state);
    stateText->setText(QString::fromUtf8(look.text));
    ViewStyle::setTextColor(stateText, look.color);
}

// Every delivery goes through the main queue and finds the view gone, if it is, without touching it.
void MainView::bindState() {
    QPointer<MainView> self(this);
    stateSubscription = appState.state.subscribe([self, queue = &mainQueue](VokariState state) {
        queue->post([self, state] {
            if (self) {
                self->showState(state);
            }
        });
    });
    micObserver = notificationCenter.addObserver(
        notifications::micNameChanged,
        [self](const std::any&) {
            if (self) {
                self->onMicNameChanged();
            }
        },
        &mainQueue);
    hotkeyObserver = notificationCenter.addObserver(
        notifications::hotkeyChanged,
        [self](const std::any& object) {
            const auto* option = std::any_cast<HotkeyOption>(&object);
            if (self && option) {
                self->setHint(displayName(*option, self->settings));
            }
        },
        &mainQueue);
    showSettingsObserver = notificationCenter.addObserver(
        notifications::showHotkeySettings,
        [self](const std::any&) {
            if (self) {
                self->selectTab(settingsTab);
            }
        },
        &mainQueue);
}

void MainView::onMicNameChanged() {
    const auto& name = appState.currentMicName.get();
    micText->setText(name ? QString::fromStdString(*name) : QStringLiteral("System Default"));
}

void MainView::setHint(const std::string& hotkeyName) {
    hintText->setText(QString::fromStdString(hotkeyName) + QString::fromUtf8(kHintSuffix));
}

} // namespace vokari
