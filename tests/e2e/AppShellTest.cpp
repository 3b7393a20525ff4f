// The app shell's own pieces, without a display (Qt's offscreen platform): the single-instance lock, the display
// check, the log lines held until the shipper exists, signals through the self-pipe, the main queue on the Qt
// event loop, the alert box, the relaunch channel and the wiring of the tray, main window and welcome panel.
#include "app/qt/AppInterface.h"
#include "app/qt/DeferredLogSink.h"
#include "app/qt/DisplayProbe.h"
#include "app/qt/InstanceChannel.h"
#include "app/qt/QtAlertPresenter.h"
#include "app/qt/QtMainQueue.h"
#include "app/qt/RecyclingSoundPlayer.h"
#include "app/qt/SingleInstance.h"
#include "app/qt/UnixSignalWatcher.h"
#include "core/VirtualMainQueue.h"
#include "ui/MainWindowController.h"
#include "ui/OnboardingWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QMessageBox>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <unistd.h>

using namespace vokari;
namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

// Runs the event loop until done() holds or two seconds pass.
bool spinUntil(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

// Runs the event loop for a while, so timers still armed come due.
void spinFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

struct TempDir {
    fs::path path;
    explicit TempDir(const std::string& prefix = "vokari-shell-test-") {
        path = fs::temp_directory_path() / (prefix + std::to_string(getpid()) + "-" + std::to_string(counter()++));
        fs::create_directories(path);
        fs::permissions(path, fs::perms::owner_all);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    static int& counter() {
        static int n = 0;
        return n;
    }
};

} // namespace

TEST(SingleInstanceTest, SecondHolderIsRefusedUntilTheFirstGoes) {
    TempDir dir;
    auto lock = dir.path / "vokari.lock";
    auto first = std::make_unique<SingleInstance>(lock);
    ASSERT_EQ(first->acquire().outcome, SingleInstance::Outcome::acquired);
    EXPECT_EQ(first->acquire().outcome, SingleInstance::Outcome::acquired) << "a second call keeps the lock";

    SingleInstance second(lock);
    auto refused = second.acquire();
    EXPECT_EQ(refused.outcome, SingleInstance::Outcome::alreadyRunning);
    EXPECT_THAT(refused.message, HasSubstr("already running (pid " + std::to_string(getpid()) + ")"));
    EXPECT_EQ(refused.message.find('\n'), std::string::npos);
    EXPECT_FALSE(second.held());

    first.reset();
    EXPECT_EQ(second.acquire().outcome, SingleInstance::Outcome::acquired);
}

// A restart waits for the exiting instance instead of being turned away, and still gives up on one that stays.
TEST(SingleInstanceTest, RestartWaitsForTheOldInstanceToLetGo) {
    using std::chrono::milliseconds;
    TempDir dir;
    auto lock = dir.path / "vokari.lock";
    auto old = std::make_unique<SingleInstance>(lock);
    ASSERT_EQ(old->acquire().outcome, SingleInstance::Outcome::acquired);

    SingleInstance restarted(lock);
    int pauses = 0;
    auto result = restarted.acquireWaiting(milliseconds(5000), milliseconds(50), [&](milliseconds step) {
        EXPECT_EQ(step, milliseconds(50));
        if (++pauses == 3) {
            old.reset(); // the old instance exits while the new one waits
        }
    });
    EXPECT_EQ(result.outcome, SingleInstance::Outcome::acquired);
    EXPECT_EQ(pauses, 3) << "took the lock at the first try after it was released";
    EXPECT_TRUE(restarted.held());

    SingleInstance third(lock);
    pauses = 0;
    auto refused = third.acquireWaiting(milliseconds(500), milliseconds(50), [&](milliseconds) { ++pauses; });
    EXPECT_EQ(refused.outcome, SingleInstance::Outcome::alreadyRunning);
    EXPECT_EQ(pauses, 10) << "gives up once its patience is spent";
    EXPECT_FALSE(third.held());
}

TEST(SingleInstanceTest, LeftoverFileOfAnEndedProcessDoesNotBlock) {
    TempDir dir;
    auto lock = dir.path / "vokari.lock";
    std::ofstream(lock) << "999999\n";
    SingleInstance instance(lock);
    ASSERT_EQ(instance.acquire().outcome, SingleInstance::Outcome::acquired);
    std::ifstream in(lock);
    long pid = 0;
    in >> pid;
    EXPECT_EQ(pid, getpid()) << "the file names the holder";
}

TEST(SingleInstanceTest, LockPathPrefersTheRuntimeDirectory) {
    TempDir dir;
    EXPECT_EQ(SingleInstance::lockPathFor(dir.path.c_str(), 1234), dir.path / "vokari.lock");
    const fs::path fallback = "/tmp/vokari-1234/vokari.lock";
    EXPECT_EQ(SingleInstance::lockPathFor(nullptr, 1234), fallback);
    EXPECT_EQ(SingleInstance::lockPathFor("", 1234), fallback);
    EXPECT_EQ(SingleInstance::lockPathFor("relative/run", 1234), fallback);
    EXPECT_EQ(SingleInstance::lockPathFor((dir.path / "missing").c_str(), 1234), fallback);
}

TEST(SingleInstanceTest, SharedTmpFallbackMustBePrivateAndReal) {
    // Another user could have made the fallback directory first: an open or foreign directory is refused.
    fs::path open = "/tmp/vokari-shelltest-open-" + std::to_string(getpid());
    fs::remove_all(open); // left over by a run that crashed
    fs::create_directory(open);
    fs::permissions(open, fs::perms::all);
    auto refusedOpen = SingleInstance(open / "vokari.lock").acquire();
    EXPECT_EQ(refusedOpen.outcome, SingleInstance::Outcome::failed);
    EXPECT_THAT(refusedOpen.message, HasSubstr("not private"));
    fs::remove_all(open);

    TempDir target;
    fs::path link = "/tmp/vokari-shelltest-link-" + std::to_string(getpid());
    fs::remove(link);
    fs::create_directory_symlink(target.path, link);
    auto refusedLink = SingleInstance(link / "vokari.lock").acquire();
    EXPECT_EQ(refusedLink.outcome, SingleInstance::Outcome::failed);
    EXPECT_FALSE(fs::exists(target.path / "vokari.lock")) << "nothing is created through the link";
    fs::remove(link);

    fs::path fresh = "/tmp/vokari-shelltest-fresh-" + std::to_string(getpid());
    fs::remove_all(fresh);
    {
        SingleInstance created(fresh / "vokari.lock");
        EXPECT_EQ(created.acquire().outcome, SingleInstance::Outcome::acquired);
        EXPECT_EQ(fs::status(fresh).permissions() & fs::perms::all, fs::perms::owner_all);
    }
    fs::remove_all(fresh);
}

TEST(DisplayProbeTest, SaysWhatIsMissingInOneLine) {
    static int opens = 0;
    auto never = [](const char*) {
        ++opens;
        return false;
    };
    auto always = [](const char*) { return true; };

    auto unset = DisplayProbe::problemFor(nullptr, nullptr, never);
    ASSERT_TRUE(unset);
    EXPECT_THAT(*unset, HasSubstr("DISPLAY is not set"));
    EXPECT_EQ(opens, 0) << "nothing to open without a name";
    auto empty = DisplayProbe::problemFor("", nullptr, never);
    ASSERT_TRUE(empty);

    auto waylandOnly = DisplayProbe::problemFor(nullptr, "wayland-0", never);
    ASSERT_TRUE(waylandOnly);
    EXPECT_THAT(*waylandOnly, HasSubstr("X11"));

    auto unreachable = DisplayProbe::problemFor(":42", nullptr, never);
    ASSERT_TRUE(unreachable);
    EXPECT_THAT(*unreachable, HasSubstr("\":42\""));
    EXPECT_EQ(opens, 1);

    EXPECT_FALSE(DisplayProbe::problemFor(":0", nullptr, always));
    for (const auto& line : {*unset, *waylandOnly, *unreachable}) {
        EXPECT_EQ(line.find('\n'), std::string::npos);
    }
}

namespace {
struct RecordingSink : LogSink {
    std::mutex mutex;
    std::vector<std::string> lines;
    std::function<void(const std::string&)> onLog;
    void log(const std::string& message, const std::string& level, const std::string& source) override {
        {
            std::lock_guard guard(mutex);
            lines.push_back(message + "|" + level + "|" + source);
        }
        if (onLog) {
            onLog(message);
        }
    }
};
} // namespace

TEST(DeferredLogSinkTest, EarlyLinesReachTheShipperInOrderThenLinesPassStraightThrough) {
    DeferredLogSink sink;
    sink.log("STARTED", "info", "macos-app");
    sink.log("⚠️ early", "error", "macos-app");
    auto target = std::make_shared<RecordingSink>();
    EXPECT_TRUE(target->lines.empty());
    sink.attach(target);
    sink.log("later", "info", "macos-app");
    EXPECT_THAT(target->lines, ::testing::ElementsAre("STARTED|info|macos-app", "⚠️ early|error|macos-app",
                                                      "later|info|macos-app"));
    EXPECT_EQ(sink.pendingCount(), 0u);
}

TEST(DeferredLogSinkTest, HoldsAtMostTheNewestLinesAndSurvivesATargetThatLogs) {
    DeferredLogSink sink;
    for (std::size_t i = 0; i < DeferredLogSink::maxPending + 5; ++i) {
        sink.log("line " + std::to_string(i), "info", "macos-app");
    }
    EXPECT_EQ(sink.pendingCount(), DeferredLogSink::maxPending);

    // A shipper that logs while it receives (as a failing send might) must not deadlock or reorder.
    auto target = std::make_shared<RecordingSink>();
    bool logged = false;
    target->onLog = [&](const std::string& message) {
        if (!logged && message == "line 5") {
            logged = true;
            sink.log("from the shipper", "info", "macos-app");
        }
    };
    sink.attach(target);
    ASSERT_EQ(target->lines.size(), DeferredLogSink::maxPending + 1);
    EXPECT_EQ(target->lines.front(), "line 5|info|macos-app") << "the oldest lines were dropped";
    EXPECT_EQ(target->lines.back(), "from the shipper|info|macos-app");
}

TEST(UnixSignalWatcherTest, SignalWaitsInThePipeUntilTheLoopRunsAndHandlersAreRestored) {
    std::vector<int> received;
    {
        UnixSignalWatcher watcher([&](int sig) { received.push_back(sig); });
        ASSERT_TRUE(watcher.install({SIGUSR2}));
        UnixSignalWatcher second([](int) {});
        EXPECT_FALSE(second.install({SIGUSR1})) << "one self-pipe per process";

        std::raise(SIGUSR2);
        QCoreApplication::processEvents();
        EXPECT_TRUE(received.empty()) << "nothing reads the pipe before the event loop is connected";
        watcher.connectToEventLoop();
        ASSERT_TRUE(spinUntil([&] { return !received.empty(); }));
        EXPECT_EQ(received, std::vector<int>{SIGUSR2});

        std::raise(SIGUSR2);
        std::raise(SIGUSR2);
        ASSERT_TRUE(spinUntil([&] { return received.size() == 3; }));
    }
    struct sigaction now {};
    sigaction(SIGUSR2, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST(QtMainQueueTest, TasksFromAnyThreadRunOnTheMainThreadInPostingOrder) {
    QtMainQueue queue(QCoreApplication::instance());
    const auto mainThread = std::this_thread::get_id();
    std::vector<std::vector<int>> seen(3);
    std::atomic<bool> offMain{false};
    std::vector<std::thread> posters;
    for (int t = 0; t < 3; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                queue.post([&, t, i] {
                    offMain = offMain || std::this_thread::get_id() != mainThread;
                    seen[t].push_back(i);
                });
            }
        });
    }
    for (auto& p : posters) {
        p.join();
    }
    ASSERT_TRUE(spinUntil([&] { return seen[0].size() + seen[1].size() + seen[2].size() == 600; }));
    EXPECT_FALSE(offMain);
    for (const auto& s : seen) {
        EXPECT_TRUE(std::is_sorted(s.begin(), s.end()));
    }
}

TEST(QtMainQueueTest, DelayedTasksRunByDueTimeAndCancelledOnesNever) {
    QtMainQueue queue(QCoreApplication::instance());
    std::vector<std::string> order;
    queue.postAfter(0.06, [&] { order.push_back("late"); });
    auto cancelled = queue.postAfter(0.01, [&] { order.push_back("cancelled"); });
    queue.postAfter(0.02, [&] { order.push_back("early"); });
    cancelled.cancel();
    int ticks = 0;
    auto repeating = queue.postRepeating(0.005, [&] { ++ticks; });
    ASSERT_TRUE(spinUntil([&] { return order.size() == 2 && ticks >= 3; }));
    repeating.cancel();
    int ticksAtCancel = ticks;
    spinFor(150);
    EXPECT_EQ(order, (std::vector<std::string>{"early", "late"}));
    EXPECT_LE(ticks, ticksAtCancel + 1) << "a repeating task stops once cancelled";
    EXPECT_GE(queue.now(), 0.0);
}

TEST(QtMainQueueTest, ClosedQueueDropsWhatArrivesLate) {
    QtMainQueue queue(QCoreApplication::instance());
    bool ran = false;
    queue.close();
    EXPECT_TRUE(queue.isClosed());
    std::thread([&] { queue.post([&] { ran = true; }); }).join();
    queue.postAfter(0, [&] { ran = true; });
    spinFor(150);
    EXPECT_FALSE(ran);
}

TEST(QtAlertPresenterTest, ShowsOneOkButtonAndReportsTheDismissalOnce) {
    QtAlertPresenter presenter;
    int dismissed = 0;
    presenter.showAlert("Daily limit reached", "The limit resets at midnight UTC.", [&] { ++dismissed; });

    QMessageBox* box = nullptr;
    ASSERT_TRUE(spinUntil([&] {
        for (auto* w : QApplication::topLevelWidgets()) {
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) {
                box = b;
            }
        }
        return box != nullptr;
    }));
    EXPECT_EQ(box->text(), QStringLiteral("Daily limit reached"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("The limit resets at midnight UTC."));
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->standardButton(box->buttons().front()), QMessageBox::Ok);
    EXPECT_EQ(dismissed, 0) << "showing does not wait for the user";

    box->buttons().front()->click();
    ASSERT_TRUE(spinUntil([&] { return dismissed == 1; }));
    spinFor(150);
    EXPECT_EQ(dismissed, 1);
}

namespace {
struct CountingPlayer : SoundPlayer {
    std::vector<std::string>* log;
    int id;
    CountingPlayer(std::vector<std::string>* log, int id) : log(log), id(id) {}
    ~CountingPlayer() override { log->push_back("gone " + std::to_string(id)); }
    void play(const std::string& name) override { log->push_back(std::to_string(id) + " " + name); }
};
} // namespace

TEST(RecyclingSoundPlayerTest, SwapsThePlayerOnlyAfterTheSoundsHaveBeenQuiet) {
    VirtualMainQueue queue;
    std::vector<std::string> log;
    int made = 0;
    auto sounds = RecyclingSoundPlayer::create(queue, [&] { return std::make_unique<CountingPlayer>(&log, ++made); });
    EXPECT_EQ(made, 1) << "the first player is ready before the first sound";

    sounds->play("Blow");
    queue.advance(2.9);
    sounds->play("Glass"); // postpones the swap
    queue.advance(2.9);
    EXPECT_EQ(made, 1);
    queue.advance(0.1);
    EXPECT_EQ(made, 2);
    sounds->play("Basso");
    EXPECT_EQ(log, (std::vector<std::string>{"1 Blow", "1 Glass", "gone 1", "2 Basso"}));

    // Nothing to swap while nothing plays, and no swap fires once the player is gone.
    queue.advance(10);
    EXPECT_EQ(made, 3);
    queue.advance(60);
    EXPECT_EQ(made, 3);
    sounds->play("Blow");
    sounds.reset();
    queue.advance(10);
    EXPECT_EQ(made, 3);
}

TEST(AppInterfaceTest, MenuToggleFollowsTheStateAndTheWindowIsMadeOnce) {
    AppState appState;
    NotificationCenter centre;
    MemoryDefaultsStore store;
    Settings settings(store);
    VirtualMainQueue queue;
    int quits = 0;
    AppInterface ui({appState, centre, settings, queue, [&quits] { ++quits; }, nullptr});
    std::vector<std::string> posted;
    auto start = centre.addObserver(notifications::startDictation, [&](const std::any&) { posted.push_back("start"); });
    auto cancel =
        centre.addObserver(notifications::cancelDictation, [&](const std::any&) { posted.push_back("cancel"); });
    ui.toggleRecording();
    appState.state = VokariState::listening;
    ui.toggleRecording();
    appState.state = VokariState::processing;
    ui.toggleRecording();
    EXPECT_EQ(posted, (std::vector<std::string>{"start", "cancel", "start"}));

    ui.setupMenuBar();
    ui.bindState();
    ui.openMainWindow();
    MainWindowController* first = ui.windowController();
    ASSERT_NE(first, nullptr);
    first->window()->close();
    ui.openMainWindow();
    EXPECT_EQ(ui.windowController(), first);
    EXPECT_TRUE(first->window()->isVisible());

    ui.showOnboardingIfNeeded();
    queue.advance(OnboardingWindow::showDelay);
    EXPECT_TRUE(ui.onboarding()->isShowing());
}

TEST(InstanceChannelTest, ALaterLaunchAsksTheRunningOneForItsWindow) {
    TempDir dir;
    const auto path = InstanceChannel::socketPathFor(dir.path / "vokari.lock");
    EXPECT_EQ(path, dir.path / "vokari.sock");
    EXPECT_FALSE(InstanceChannel::requestOpenWindow(path, 200)) << "nobody listens yet";

    std::ofstream(path) << "left by a crashed instance";
    int opens = 0;
    InstanceChannel channel(path, [&opens] { ++opens; });
    ASSERT_EQ(channel.listen(), std::nullopt);

    // The asking side blocks, as the process entry does; the running side answers from its event loop.
    std::atomic<int> answered{-1};
    std::thread asker([&] { answered = InstanceChannel::requestOpenWindow(path) ? 1 : 0; });
    EXPECT_TRUE(spinUntil([&] { return answered.load() >= 0; }));
    asker.join();
    EXPECT_EQ(answered.load(), 1);
    EXPECT_EQ(opens, 1);

    // Anything but the one request opens nothing and is hung up on.
    QLocalSocket other;
    other.connectToServer(QString::fromStdString(path.string()));
    ASSERT_TRUE(other.waitForConnected(1000));
    other.write("quit\n");
    other.flush();
    EXPECT_TRUE(spinUntil([&] { return other.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(opens, 1);
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
