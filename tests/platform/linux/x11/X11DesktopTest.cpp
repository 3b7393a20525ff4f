// The X11 desktop I/O on a real, private X server: key presses synthesised with XTest (xte) reaching the key
// source and the hotkey, pastes landing in a Qt window and in a terminal-class window, and the sounds playing.
#include "X11TestDesktop.h"

#include "app/qt/QtKeyEventPump.h"
#include "app/qt/QtPasteboard.h"
#include "app/qt/QtSoundPlayer.h"
#include "core/DefaultsStore.h"
#include "core/VirtualMainQueue.h"
#include "desktop/GlobalHotkey.h"
#include "desktop/TextInserter.h"
#include "desktop/VirtualKeys.h"
#include "platform/linux/x11/X11AccessibilityTrust.h"
#include "platform/linux/x11/X11InputSynthesizer.h"
#include "platform/linux/x11/X11KeyEventSource.h"
#include "platform/linux/x11/X11Workspace.h"

#include <QApplication>
#include <QFile>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <poll.h>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace vokari {
namespace {

using testing::ChildProcess;
using testing::waitUntil;
using x11::X11KeyEventSource;
using namespace std::chrono_literals;

// One desktop and one Qt application per test process (CTest runs each test in its own process).
class DesktopEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        desktop = std::make_unique<testing::X11TestDesktop>();
        failure = desktop->start();
        if (failure.empty()) {
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            // Neither this process nor the windows it starts should wait on an accessibility bus.
            ::setenv("QT_ACCESSIBILITY", "0", 1);
            app = std::make_unique<QApplication>(argc, argv);
        }
    }
    void TearDown() override {
        app.reset();
        desktop.reset();
    }
    static inline std::string failure;
    static inline std::unique_ptr<QApplication> app;
    static inline std::unique_ptr<testing::X11TestDesktop> desktop;

private:
    int argc = 1;
    char name[16] = "x11_desktop";
    char* argv[2] = {name, nullptr};
};
const auto* const registered = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

#define REQUIRE_DESKTOP() ASSERT_TRUE(DesktopEnvironment::failure.empty()) << DesktopEnvironment::failure

void pumpKeys(X11KeyEventSource& source, VirtualMainQueue* queue = nullptr) {
    pollfd p{source.fd(), POLLIN, 0};
    ::poll(&p, 1, 20);
    source.dispatchPending();
    if (queue) {
        queue->runUntilIdle();
    }
}
void pumpQt() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}
bool xte(std::initializer_list<std::string> commands) {
    std::vector<std::string> argv{"xte"};
    argv.insert(argv.end(), commands);
    return testing::runCommand(argv).has_value();
}
std::string readFile(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

TEST(X11KeyEventSource, XTestKeysArriveAsVirtualCodesWithModifierFlags) {
    REQUIRE_DESKTOP();
    X11KeyEventSource source;
    auto ev = [](KeyEventType t, std::uint16_t code, std::uint64_t flags) {
        return std::to_string(int(t)) + ":" + std::to_string(code) + ":" + std::to_string(flags);
    };
    std::vector<std::string> seen;
    ASSERT_TRUE(source.isTrusted());
    ASSERT_TRUE(source.install([&](const KeyEvent& e) { seen.push_back(ev(e.type, e.keyCode, e.flags)); }));
    constexpr auto down = KeyEventType::keyDown, up = KeyEventType::keyUp, mod = KeyEventType::flagsChanged;
    ASSERT_TRUE(xte({"keydown Control_R", "key a", "keyup Control_R", "key Super_R", "key Super_L", "key Alt_R",
                     "key Alt_L", "key Escape", "key F5", "key 7"}));
    ASSERT_TRUE(waitUntil([&] { return seen.size() >= 18; }, 5s, [&] { pumpKeys(source); }));
    EXPECT_EQ(seen,
              (std::vector<std::string>{
                  ev(mod, virtualKey::rightControl, eventFlag::control), ev(down, virtualKey::a, eventFlag::control),
                  ev(up, virtualKey::a, eventFlag::control), ev(mod, virtualKey::rightControl, 0),
                  ev(mod, virtualKey::rightCommand, eventFlag::command), ev(mod, virtualKey::rightCommand, 0),
                  ev(mod, virtualKey::leftCommand, eventFlag::command), ev(mod, virtualKey::leftCommand, 0),
                  ev(mod, virtualKey::rightOption, eventFlag::option), ev(mod, virtualKey::rightOption, 0),
                  ev(mod, virtualKey::leftOption, eventFlag::option), ev(mod, virtualKey::leftOption, 0),
                  ev(down, virtualKey::escape, 0), ev(up, virtualKey::escape, 0), ev(down, virtualKey::f5, 0),
                  ev(up, virtualKey::f5, 0), ev(down, 26, 0), ev(up, 26, 0)}));

    // After remove() nothing more is delivered.
    source.remove();
    seen.clear();
    ASSERT_TRUE(xte({"key F5"}));
    waitUntil([] { return false; }, 300ms, [&] { pumpKeys(source); });
    EXPECT_TRUE(seen.empty());
}

TEST(GlobalHotkeyOnX11, XTestPressesToggleAndCancel) {
    REQUIRE_DESKTOP();
    VirtualMainQueue queue; // time stands still: every press here is a quick one
    MemoryDefaultsStore store;
    Settings settings(store);
    auto source = std::make_shared<X11KeyEventSource>();
    auto hotkey = GlobalHotkey::create(queue, settings, source);
    int toggles = 0, cancels = 0;
    hotkey->onToggle = [&] { ++toggles; };
    hotkey->onCancel = [&] { ++cancels; };
    hotkey->start();
    ASSERT_TRUE(hotkey->isActive());
    auto waitFor = [&](int& counter, int value) {
        return waitUntil([&] { return counter >= value; }, 5s, [&] { pumpKeys(*source, &queue); });
    };

    ASSERT_TRUE(xte({"key Super_R"}));
    EXPECT_TRUE(waitFor(toggles, 1));
    ASSERT_TRUE(xte({"keydown Super_R", "key c", "keyup Super_R", "key Escape"}));
    EXPECT_TRUE(waitFor(cancels, 1));
    EXPECT_EQ(toggles, 1); // Super+C used the key as a modifier

    hotkey->updateOption(HotkeyOption::rightControl);
    ASSERT_TRUE(xte({"key Super_R", "key Control_R"}));
    EXPECT_TRUE(waitFor(toggles, 2));

    hotkeyOption::saveCustomKey(virtualKey::f5, 0, "F5", settings);
    hotkey->updateOption(HotkeyOption::custom);
    ASSERT_TRUE(xte({"key F5"}));
    EXPECT_TRUE(waitFor(toggles, 3));
    waitUntil([] { return false; }, 200ms, [&] { pumpKeys(*source, &queue); });
    EXPECT_EQ(toggles, 3);
    EXPECT_EQ(cancels, 1);
}

TEST(GlobalHotkeyOnX11, WithoutItsServerTheHotkeyWaitsUntilADisplayReturns) {
    REQUIRE_DESKTOP();
    // A display number of its own, far above the ones -displayfd hands out to parallel tests, so that no other
    // server can take it over while this test's server is down.
    ChildProcess xvfb;
    std::string display;
    for (int n = 600 + ::getpid() % 300, tries = 0; tries < 10 && display.empty(); ++n, ++tries) {
        // Appended rather than joined with +: GCC 12 at -O3 reports a false -Wrestrict on ":" + string.
        std::string name = ":";
        name += std::to_string(n);
        if (testing::startXvfb(xvfb, name)) {
            display = name;
        }
    }
    ASSERT_FALSE(display.empty());

    VirtualMainQueue queue;
    MemoryDefaultsStore store;
    auto source = std::make_shared<X11KeyEventSource>(display);
    auto hotkey = GlobalHotkey::create(queue, Settings(store), source);
    std::weak_ptr<GlobalHotkey> weak = hotkey;
    int lost = 0;
    source->onConnectionLost = [&lost, weak] {
        ++lost;
        if (auto h = weak.lock()) {
            h->stop();
            h->start();
        }
    };
    ASSERT_TRUE(waitUntil([&] { return hotkey->start(), hotkey->isActive(); }, 10s));

    xvfb.stop(); // the process survives the loss of its X server
    ASSERT_TRUE(waitUntil([&] { return lost == 1; }, 10s, [&] { pumpKeys(*source, &queue); }));
    queue.advance(4.0); // no display: it keeps waiting
    EXPECT_EQ(source->fd(), -1);
    EXPECT_FALSE(hotkey->isActive());
    EXPECT_TRUE(hotkey->isWaitingForPermission());

    // The same display comes back; the next 2 s tick finds it and installs the stream again.
    ChildProcess again;
    ASSERT_TRUE(testing::startXvfb(again, display));
    ASSERT_TRUE(waitUntil([&] { return queue.advance(2.0), hotkey->isActive(); }, 15s));
    EXPECT_GE(source->fd(), 0);
    hotkey.reset(); // close the connection while its server still runs
    source.reset();
}

TEST(QtKeyEventPump, KeysArriveThroughTheQtEventLoop) {
    REQUIRE_DESKTOP();
    auto source = std::make_shared<X11KeyEventSource>();
    x11::QtKeyEventPump pump(source); // armed before the connection exists: it follows onConnectionChanged
    std::vector<std::uint16_t> codes;
    ASSERT_TRUE(source->install([&](const KeyEvent& e) { codes.push_back(e.keyCode); }));
    ASSERT_TRUE(xte({"key F5"}));
    EXPECT_TRUE(waitUntil([&] { return codes.size() >= 2; }, 5s,
                          [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50); }));
    EXPECT_EQ(codes, (std::vector<std::uint16_t>{virtualKey::f5, virtualKey::f5}));
}

TEST(TextInserterOnX11, PasteLandsInAQtWindowAndATerminalClassWindow) {
    REQUIRE_DESKTOP();
    VirtualMainQueue queue;
    MemoryDefaultsStore store;
    Settings settings(store);
    auto connection = std::make_shared<x11::X11Connection>();
    auto workspace = std::make_shared<x11::X11Workspace>(connection);
    auto inserter = TextInserter::create(queue, settings,
                                         {std::make_shared<x11::QtPasteboard>(),
                                          std::make_shared<x11::X11InputSynthesizer>(connection), workspace,
                                          std::make_shared<x11::X11AccessibilityTrust>(connection)});
    // Other builds may load this machine heavily; the window manager then needs longer than the app's 0.5 s.
    inserter->setActivationWait(5.0);
    // Qt's events run and the virtual clock follows real time, so the inserter's steps happen while the
    // clipboard owner (this process) answers the target's paste request.
    auto last = std::chrono::steady_clock::now();
    auto pump = [&] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(2ms);
        auto now = std::chrono::steady_clock::now();
        queue.advance(std::chrono::duration<double>(now - std::exchange(last, now)).count());
    };
    const std::string editorFile = ::testing::TempDir() + "/vokari-editor.txt";
    const std::string terminalFile = ::testing::TempDir() + "/vokari-terminal.txt";
    std::remove(editorFile.c_str());
    std::remove(terminalFile.c_str());

    // A new window normally gets the focus on its own; when it shows up without it, the test activates it. Now
    // and then, on a loaded machine, a new window stays unmapped; the test then starts it again.
    auto startInFront = [&](ChildProcess& child, const std::vector<std::string>& argv) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            auto lastAsk = std::chrono::steady_clock::now() - 1h;
            auto inFront = [&] {
                if (auto front = workspace->frontmostApplication(); front && front->pid == child.pid()) {
                    return true;
                }
                for (const auto& app : workspace->runningApplications()) {
                    if (app.pid == child.pid() && std::chrono::steady_clock::now() - lastAsk > 1s) {
                        workspace->activate(app);
                        lastAsk = std::chrono::steady_clock::now();
                    }
                }
                return false;
            };
            if (child.start(argv) && waitUntil(inFront, 10s, pump)) {
                return true;
            }
        }
        return false;
    };
    ChildProcess editor;
    ASSERT_TRUE(startInFront(editor, {VOKARI_PASTE_TARGET, editorFile, "VokariEditor"}))
        << "window manager running: " << DesktopEnvironment::desktop->windowManagerRunning();
    const RunningApp editorApp = *workspace->frontmostApplication();
    EXPECT_EQ(editorApp.windowClass, "VokariEditor");
    EXPECT_EQ(editorApp.localizedName, "Paste target VokariEditor");
    EXPECT_FALSE(workspace->isTerminated(editorApp));

    // Typing still reaches the focused window while the hotkey listens: nothing is grabbed.
    auto source = std::make_shared<X11KeyEventSource>();
    ASSERT_TRUE(source->install([](const KeyEvent&) {}));
    ASSERT_TRUE(xte({"str hi "}));
    EXPECT_TRUE(waitUntil([&] { return readFile(editorFile) == "hi "; }, 5s, pump));

    ChildProcess terminal;
    ASSERT_TRUE(startInFront(terminal, {VOKARI_PASTE_TARGET, terminalFile, "XTerm", "--terminal"}));
    const RunningApp terminalApp = *workspace->frontmostApplication();

    // The editor is behind the terminal now: the inserter brings it back before pasting.
    const std::string text = "Grüße aus Vokari — 42";
    inserter->insert(text, editorApp);
    EXPECT_TRUE(waitUntil([&] { return readFile(editorFile) == "hi " + text; }, 10s, pump)) << readFile(editorFile);
    EXPECT_TRUE(workspace->isActive(editorApp));
    EXPECT_EQ(readFile(terminalFile), "");

    // The terminal gets Control+Shift+V (Control+V would have typed "^V"), then Return with auto-enter.
    TextInserter::setAutoEnter(settings, true);
    inserter->insert("echo ok", terminalApp);
    EXPECT_TRUE(waitUntil([&] { return readFile(terminalFile) == "echo ok\n"; }, 10s, pump)) << readFile(terminalFile);
    EXPECT_TRUE(waitUntil([&] { return !inserter->busy(); }, 5s, pump));

    terminal.stop();
    EXPECT_TRUE(waitUntil([&] { return workspace->isTerminated(terminalApp); }, 5s, pump));
    source->remove();
}

// Loudest sample of a raw 16-bit mono recording.
int peakOf(const std::string& path) {
    std::string data = readFile(path);
    int peak = 0;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        peak = std::max(peak, std::abs(int(std::int16_t(std::uint8_t(data[i]) | (std::uint8_t(data[i + 1]) << 8)))));
    }
    return peak;
}

TEST(QtSoundPlayer, TheFourSoundsLoadFromTheResourcesAndOneReachesTheDefaultSink) {
    REQUIRE_DESKTOP();
    x11::QtSoundPlayer player;
    const auto& names = x11::QtSoundPlayer::soundNames();
    for (const auto& name : names) {
        EXPECT_TRUE(QFile::exists(QString::fromStdString(x11::QtSoundPlayer::resourcePath(name)))) << name;
    }
    ASSERT_TRUE(
        waitUntil([&] { return std::all_of(names.begin(), names.end(), [&](auto& n) { return player.isLoaded(n); }); },
                  10s, pumpQt));
    player.play("Ping"); // unknown names are ignored
    EXPECT_FALSE(player.isLoaded("Ping"));

    auto record = [&](const std::string& file, bool playGlass) {
        ChildProcess recorder;
        recorder.start({"parec", "-d", "spk.monitor", "--raw", "--format=s16le", "--channels=1", "--rate=44100",
                        "--latency-msec=20", file});
        waitUntil([] { return false; }, 300ms, pumpQt);
        if (playGlass) {
            player.play("Glass");
        }
        waitUntil([] { return false; }, 1200ms, pumpQt);
    };
    const std::string quiet = ::testing::TempDir() + "/vokari-quiet.raw",
                      loud = ::testing::TempDir() + "/vokari-loud.raw";
    record(quiet, false);
    record(loud, true);
    EXPECT_LT(peakOf(quiet), 100);
    EXPECT_GT(peakOf(loud), 2000);
    std::remove(quiet.c_str());
    std::remove(loud.c_str());
}

} // namespace
} // namespace vokari
