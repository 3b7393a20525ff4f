// The X11 desktop I/O on a real, private X server: key presses synthesised with XTest (xte) reaching the key
// source and the hotkey, pastes landing in a Qt window and in a terminal-class window, and the sounds loading.
#include "X11TestDesktop.h"

#include "app/DebugLog.h"
#include "core/DefaultsStore.h"
#include "core/VirtualMainQueue.h"
#include "desktop/GlobalHotkey.h"
#include "desktop/TextInserter.h"
#include "desktop/VirtualKeys.h"
#include "platform/linux/x11/QtKeyEventPump.h"
#include "platform/linux/x11/QtPasteboard.h"
#include "platform/linux/x11/QtSoundPlayer.h"
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

// Last: Xlib's macros (None, Bool) clash with the headers above.
#include <X11/Xlib.h>

namespace vokari {
namespace {

using testing::ChildProcess;
using testing::displayAnswers;
using testing::runCommand;
using testing::waitUntil;
using x11::X11KeyEventSource;
using namespace std::chrono_literals;

// One desktop and one Qt application per test process (CTest runs each test in its own process).
class DesktopEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        failure = desktop.start();
        if (failure.empty()) {
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            // Neither this process nor the windows it starts should wait on an accessibility bus.
            ::setenv("QT_ACCESSIBILITY", "0", 1);
            app = std::make_unique<QApplication>(argc, argv);
        }
    }
    void TearDown() override {
        app.reset();
        desktop.stop();
    }
    static inline std::string failure;
    static inline std::unique_ptr<QApplication> app;
    static inline testing::X11TestDesktop desktop;

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

bool xte(std::initializer_list<std::string> commands) {
    std::vector<std::string> argv{"xte"};
    argv.insert(argv.end(), commands);
    return runCommand(argv);
}

TEST(X11KeyEventSource, XTestKeysArriveAsVirtualCodesWithModifierFlags) {
    REQUIRE_DESKTOP();
    X11KeyEventSource source;
    ASSERT_TRUE(source.isTrusted());
    std::vector<KeyEvent> seen;
    ASSERT_TRUE(source.install([&](const KeyEvent& e) { seen.push_back(e); }));
    ASSERT_GE(source.fd(), 0);

    ASSERT_TRUE(xte({"keydown Control_R", "key a", "keyup Control_R"}));
    ASSERT_TRUE(waitUntil([&] { return seen.size() >= 4; }, 5s, [&] { pumpKeys(source); }));
    auto is = [](const KeyEvent& e, KeyEventType t, std::uint16_t code, std::uint64_t flags) {
        return e.type == t && e.keyCode == code && e.flags == flags;
    };
    EXPECT_TRUE(is(seen[0], KeyEventType::flagsChanged, virtualKey::rightControl, eventFlag::control));
    EXPECT_TRUE(is(seen[1], KeyEventType::keyDown, virtualKey::a, eventFlag::control));
    EXPECT_TRUE(is(seen[2], KeyEventType::keyUp, virtualKey::a, eventFlag::control));
    EXPECT_TRUE(is(seen[3], KeyEventType::flagsChanged, virtualKey::rightControl, 0));

    seen.clear();
    ASSERT_TRUE(xte({"key Super_R", "key Super_L", "key Alt_R", "key Alt_L", "key Escape", "key F5", "key 7"}));
    ASSERT_TRUE(waitUntil([&] { return seen.size() >= 14; }, 5s, [&] { pumpKeys(source); }));
    std::vector<std::uint16_t> codes;
    for (std::size_t i = 0; i < seen.size(); i += 2) {
        codes.push_back(seen[i].keyCode);
    }
    EXPECT_EQ(codes, (std::vector<std::uint16_t>{54, 55, 61, 58, 53, 96, 26}));
    EXPECT_EQ(seen[0].flags, eventFlag::command);
    EXPECT_EQ(seen[4].flags, eventFlag::option);
    EXPECT_EQ(seen[8].type, KeyEventType::keyDown);

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

TEST(GlobalHotkeyOnX11, WithoutADisplayItWaitsForOne) {
    REQUIRE_DESKTOP();
    VirtualMainQueue queue;
    MemoryDefaultsStore store;
    auto source = std::make_shared<X11KeyEventSource>("/nonexistent/vokari-display:7");
    auto hotkey = GlobalHotkey::create(queue, Settings(store), source);
    hotkey->start();
    EXPECT_FALSE(hotkey->isActive());
    EXPECT_TRUE(hotkey->isWaitingForPermission());
    queue.advance(4.0);
    EXPECT_FALSE(hotkey->isActive());
    EXPECT_EQ(source->fd(), -1);
}

TEST(GlobalHotkeyOnX11, ALostServerSendsTheHotkeyBackToWaitingUntilADisplayReturns) {
    REQUIRE_DESKTOP();
    // A display number of its own, far above the ones -displayfd hands out to parallel tests, so that no other
    // server can take it over while this test's server is down.
    auto startServer = [](ChildProcess& server, const std::string& display) {
        return server.start({"Xvfb", display, "-screen", "0", "640x480x24", "-nolisten", "tcp", "-noreset"}) &&
               waitUntil([&] { return displayAnswers(display) || !server.running(); }, 10s) && server.running();
    };
    ChildProcess xvfb;
    std::string display;
    for (int n = 600 + ::getpid() % 300, tries = 0; tries < 10 && display.empty(); ++n, ++tries) {
        if (startServer(xvfb, ":" + std::to_string(n))) {
            display = ":" + std::to_string(n);
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
    ASSERT_TRUE(waitUntil(
        [&] {
            hotkey->start();
            return hotkey->isActive();
        },
        10s));

    xvfb.stop(); // the process survives the loss of its X server
    ASSERT_TRUE(waitUntil([&] { return lost == 1; }, 10s, [&] { pumpKeys(*source, &queue); }));
    EXPECT_EQ(source->fd(), -1);
    EXPECT_FALSE(hotkey->isActive());
    EXPECT_TRUE(hotkey->isWaitingForPermission());

    // The same display comes back; the next 2 s tick finds it and installs the stream again.
    ChildProcess again;
    ASSERT_TRUE(startServer(again, display));
    ASSERT_TRUE(waitUntil(
        [&] {
            queue.advance(2.0);
            return hotkey->isActive();
        },
        15s));
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

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs Qt's events and moves the virtual clock along with real time, so the inserter's steps happen while the
// clipboard owner (this process) answers the target's paste request.
struct RealTimePump {
    VirtualMainQueue& queue;
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
    void operator()() {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(2ms);
        auto now = std::chrono::steady_clock::now();
        queue.advance(std::chrono::duration<double>(now - last).count());
        last = now;
    }
};

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
    RealTimePump pump{queue};
    const std::string dir = ::testing::TempDir();
    const std::string editorFile = dir + "/vokari-editor.txt", terminalFile = dir + "/vokari-terminal.txt";
    std::remove(editorFile.c_str());
    std::remove(terminalFile.c_str());

    // A new window normally gets the focus on its own; when it shows up without it, the test activates it.
    auto bringToFront = [&](pid_t pid) {
        auto lastAsk = std::chrono::steady_clock::now() - 1h;
        return waitUntil(
            [&] {
                auto front = workspace->frontmostApplication();
                if (front && front->pid == pid) {
                    return true;
                }
                for (const auto& app : workspace->runningApplications()) {
                    if (app.pid == pid && std::chrono::steady_clock::now() - lastAsk > 1s) {
                        workspace->activate(app);
                        lastAsk = std::chrono::steady_clock::now();
                    }
                }
                return false;
            },
            10s, pump);
    };
    // Now and then (about one run in thirty, with other builds loading the machine) a new window stays unmapped
    // and unmanaged; the test then starts it again rather than fail on the desktop's set-up.
    auto startInFront = [&](ChildProcess& child, const std::vector<std::string>& argv) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (child.start(argv) && bringToFront(child.pid())) {
                return true;
            }
            child.stop();
        }
        return false;
    };
    auto describeDesktop = [&](ChildProcess& child) {
        std::string out = child.running() ? "child running; windows:" : "child exited; windows:";
        out = (DesktopEnvironment::desktop.windowManagerRunning() ? "openbox running; " : "openbox gone; ") + out;
        for (const auto& app : workspace->runningApplications()) {
            out += " [" + app.windowClass + " pid " + std::to_string(app.pid) + "]";
        }
        auto front = workspace->frontmostApplication();
        out += "; active: " + (front ? front->windowClass : std::string("none"));
        // Unmanaged top-level windows of the child, if the window manager never took them.
        Display* dpy = connection->display();
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (dpy && XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count)) {
            int mine = 0;
            for (unsigned i = 0; i < count; ++i) {
                auto app = workspace->describe(children[i]);
                XWindowAttributes a;
                if (app && app->pid == child.pid() && XGetWindowAttributes(dpy, children[i], &a)) {
                    ++mine;
                    out += a.map_state == IsViewable ? " (mapped" : " (unmapped";
                    out += ", class '" + app->windowClass + "')";
                }
            }
            out += "; top-level windows " + std::to_string(count) + ", of the child " + std::to_string(mine);
            XFree(children);
        }
        return out;
    };
    ChildProcess editor;
    ASSERT_TRUE(startInFront(editor, {VOKARI_PASTE_TARGET, editorFile, "VokariEditor"})) << describeDesktop(editor);
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
    ASSERT_TRUE(startInFront(terminal, {VOKARI_PASTE_TARGET, terminalFile, "XTerm", "--terminal"}))
        << describeDesktop(terminal);
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
    editor.stop();
    source->remove();
}

TEST(QtSoundPlayer, TheFourSoundsLoadFromTheBuiltInResourcesAndPlayWithoutWaiting) {
    REQUIRE_DESKTOP();
    x11::QtSoundPlayer player;
    for (const auto& name : x11::QtSoundPlayer::soundNames()) {
        EXPECT_TRUE(QFile::exists(QString::fromStdString(x11::QtSoundPlayer::resourcePath(name)))) << name;
    }
    EXPECT_TRUE(waitUntil(
        [&] {
            for (const auto& name : x11::QtSoundPlayer::soundNames()) {
                if (!player.isLoaded(name)) {
                    return false;
                }
            }
            return true;
        },
        10s, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }));
    for (const auto& name : x11::QtSoundPlayer::soundNames()) {
        player.play(name);
    }
    player.play("Ping"); // unknown names are ignored
    EXPECT_FALSE(player.isLoaded("Ping"));
}

// Loudest sample (16-bit mono) of a raw recording.
int peakOf(const std::string& path) {
    std::string data = readFile(path);
    int peak = 0;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        auto sample = static_cast<std::int16_t>(static_cast<unsigned char>(data[i]) |
                                                (static_cast<unsigned char>(data[i + 1]) << 8));
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    return peak;
}

TEST(QtSoundPlayer, ASoundPlayedReachesTheDefaultSink) {
    REQUIRE_DESKTOP();
    x11::QtSoundPlayer player;
    auto pumpFor = [](std::chrono::milliseconds d) {
        waitUntil([] { return false; }, d, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); });
    };
    ASSERT_TRUE(waitUntil([&] { return player.isLoaded("Glass"); }, 10s,
                          [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }));
    const std::string quiet = ::testing::TempDir() + "/vokari-quiet.raw";
    const std::string loud = ::testing::TempDir() + "/vokari-loud.raw";
    const std::vector<std::string> parec = {"parec",          "-d",           "spk.monitor",  "--raw",
                                            "--format=s16le", "--channels=1", "--rate=44100", "--latency-msec=20"};
    {
        ChildProcess silence;
        auto argv = parec;
        argv.push_back(quiet);
        ASSERT_TRUE(silence.start(argv));
        pumpFor(600ms);
    }
    ChildProcess recorder;
    auto argv = parec;
    argv.push_back(loud);
    ASSERT_TRUE(recorder.start(argv));
    pumpFor(300ms);
    player.play("Glass");
    pumpFor(1200ms);
    recorder.stop();
    EXPECT_LT(peakOf(quiet), 100);
    EXPECT_GT(peakOf(loud), 2000);
    std::remove(quiet.c_str());
    std::remove(loud.c_str());
}

} // namespace
} // namespace vokari
