// Not a test: draws the main window's Home tab with a history and its Settings tab in each style look, at each
// capsule size and with two rows of vocabulary chips, into PNGs for review (scripts/screenshots-window.sh).
#include "core/VirtualMainQueue.h"
#include "ui/BrandFonts.h"
#include "ui/MainView.h"
#include "ui/SettingsView.h"
#include "ui/StatusTrayIcon.h"
#include "ui/TranscriptView.h"
#include "ui/VocabTagEditor.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QThread>

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace vokari;

namespace {

void settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

struct Window {
    MemoryDefaultsStore store;
    Settings settings{store};
    AppState appState;
    NotificationCenter centre;
    VirtualMainQueue queue;
    std::filesystem::path vocab;

    std::unique_ptr<MainView> build(std::vector<Transcript> history, int height) {
        SettingsView::Services services;
        services.vocabularyFile = vocab;
        auto fetch = [history](std::function<void(std::vector<Transcript>)> done) { done(history); };
        auto view = std::make_unique<MainView>(
            MainView::Dependencies{appState, centre, settings, queue, AboutView::Actions{}, fetch, services});
        view->resize(640, height);
        view->show();
        queue.runUntilIdle();
        settle(150);
        queue.runUntilIdle();
        return view;
    }
};

void save(QWidget& widget, const QString& file) {
    settle(100);
    widget.grab().save(file);
    std::printf("wrote %s\n", qPrintable(file));
}

void scrollTo(SettingsView* settings, QWidget* target) {
    auto* scroll = settings->findChild<QScrollArea*>(QStringLiteral("settingsScroll"));
    scroll->ensureWidgetVisible(target, 0, 40);
    settle(50);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <out-dir>\n", argv[0]);
        return 2;
    }
    BrandFonts::registerAll();
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    const auto vocabFile = std::filesystem::temp_directory_path() / "vokari-render-vocab.json";

    {
        Window w;
        w.appState.currentMicName = std::optional<std::string>("Built-in Audio Analog Stereo");
        std::vector<Transcript> history;
        const char* texts[] = {
            "Remind me to send the quarterly numbers to Priya before Thursday's review.",
            "hey are we still on for lunch tomorrow",
            "The deployment failed because the migration ran before the new column existed. Roll back, fix the "
            "order, and redeploy after the tests pass.",
            "Buy oat milk, coffee filters and batteries.",
            "Let's move the stand-up to 9:30 so the Berlin team can join.",
        };
        int minute = 2;
        for (const char* text : texts) {
            history.push_back({0, "", text, "2026-12-06T09:" + std::to_string(10 + minute) + ":00Z"});
            minute += 7;
        }
        auto view = w.build(history, 480);
        view->pushTranscript("Thanks, that works for me — see you at ten.");
        w.queue.runUntilIdle();
        settle(100);
        w.queue.runUntilIdle();
        save(*view, out + "/window-home-history.png");
    }

    for (const char* style : {"professional", "casual", "minimal", "custom"}) {
        Window w;
        w.settings.setStylePreset(style);
        w.settings.setCustomPrompt("Keep my sentences short. Use British spelling and no exclamation marks.");
        auto view = w.build({}, 640);
        view->selectTab(MainView::settingsTab);
        scrollTo(view->settingsView(), view->settingsView()->savePromptButton()->isHidden()
                                           ? static_cast<QWidget*>(view->settingsView()->promptEditor())
                                           : static_cast<QWidget*>(view->settingsView()->savePromptButton()));
        save(*view, out + "/settings-style-" + style + ".png");
    }

    for (const char* size : {"small", "medium", "large"}) {
        Window w;
        w.settings.setCapsuleSize(size);
        auto view = w.build({}, 640);
        view->selectTab(MainView::settingsTab);
        scrollTo(view->settingsView(), view->settingsView()->previewArea());
        save(*view, out + "/settings-capsule-" + size + ".png");
    }

    {
        std::ofstream(vocabFile) << R"({"vocab":"Kubernetes, Priya, PostgreSQL, Vokari, OAuth, gRPC, Berlin, )"
                                    R"(Terraform, nginx"})";
        Window w;
        w.vocab = vocabFile;
        auto view = w.build({}, 640);
        view->selectTab(MainView::settingsTab);
        settle(100);
        scrollTo(view->settingsView(), view->settingsView()->vocabEditor());
        save(*view, out + "/settings-vocabulary.png");
        std::filesystem::remove(vocabFile);
    }

    {
        Window w;
        auto view = w.build({}, 640);
        view->selectTab(MainView::settingsTab);
        save(*view, out + "/settings-top.png");
    }

    // Home with two recordings whose request failed, below the newest entries; and the tray menu while one is kept.
    {
        Window w;
        std::vector<Transcript> history = {
            {0, "", "Remind me to send the quarterly numbers to Priya before Thursday's review.",
             "2026-12-06T09:12:00Z"},
            {0, "", "Buy oat milk, coffee filters and batteries.", "2026-12-06T09:19:00Z"}};
        auto view = w.build(history, 480);
        const auto now = std::chrono::system_clock::now();
        view->transcriptView()->setUnsent(
            {{"b", "/tmp/b.wav", now, 41.6, "Request timed out — try again", 1331244},
             {"a", "/tmp/a.wav", now - std::chrono::minutes(3), 7.2, "Server error — try again", 230444}});
        settle(100);
        w.queue.runUntilIdle();
        save(*view, out + "/window-home-unsent.png");

        StatusTrayIcon::Actions actions;
        actions.hasUnsentRecording = [] { return true; };
        actions.retryLastDictation = [] {};
        actions.toggleRecording = [] {};
        actions.openMainWindow = [] {};
        actions.quit = [] {};
        w.appState.currentMicName = std::optional<std::string>("Built-in Audio Analog Stereo");
        StatusTrayIcon tray(w.appState, w.queue, actions);
        QMenu menu;
        tray.buildContextMenu(menu);
        menu.popup(QPoint(200, 200));
        settle(200);
        save(menu, out + "/tray-menu-retry.png");
        menu.hide();
    }
    return 0;
}
