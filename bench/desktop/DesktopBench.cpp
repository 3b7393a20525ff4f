// Costs of the hotkey path: the state machine per key event (no display needed), and, with $DISPLAY set
// (run-x11-bench.sh starts a private Xvfb), the time from an XTest key event to the translated event reaching
// the key source's handler.
#include "app/qt/QtSoundPlayer.h"
#include "core/DebugLog.h"
#include "core/DefaultsStore.h"
#include "core/VirtualMainQueue.h"
#include "desktop/GlobalHotkey.h"
#include "desktop/TerminalWindowClasses.h"
#include "desktop/VirtualKeys.h"
#include "platform/linux/x11/X11KeyEventSource.h"

#include <QCoreApplication>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <benchmark/benchmark.h>

#include <chrono>

#include <cstdlib>
#include <poll.h>

namespace vokari {
namespace {

class NullSource : public KeyEventSource {
public:
    bool isTrusted() override { return true; }
    void requestTrust() override {}
    bool install(Handler h) override {
        handler = std::move(h);
        return true;
    }
    void remove() override { handler = nullptr; }
    Handler handler;
};

// One solo tap of the hotkey (two events) plus running the queued toggle.
void BM_HotkeyTap(benchmark::State& state) {
    VirtualMainQueue queue;
    MemoryDefaultsStore store;
    auto source = std::make_shared<NullSource>();
    auto hotkey = GlobalHotkey::create(queue, Settings(store), source);
    long toggles = 0;
    hotkey->onToggle = [&] { ++toggles; };
    hotkey->start();
    for (auto _ : state) {
        source->handler(KeyEvent{KeyEventType::flagsChanged, virtualKey::rightCommand, eventFlag::command});
        source->handler(KeyEvent{KeyEventType::flagsChanged, virtualKey::rightCommand, 0});
        queue.runUntilIdle();
    }
    benchmark::DoNotOptimize(toggles);
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_HotkeyTap);

// An ordinary key typed while the hotkey is idle: the common case, seen for every key the user types.
void BM_HotkeyOrdinaryKey(benchmark::State& state) {
    VirtualMainQueue queue;
    MemoryDefaultsStore store;
    auto source = std::make_shared<NullSource>();
    auto hotkey = GlobalHotkey::create(queue, Settings(store), source);
    hotkey->start();
    for (auto _ : state) {
        source->handler(KeyEvent{KeyEventType::keyDown, virtualKey::a, 0});
        source->handler(KeyEvent{KeyEventType::keyUp, virtualKey::a, 0});
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_HotkeyOrdinaryKey);

void BM_TerminalClassLookup(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(isTerminalWindowClass("Gnome-terminal"));
        benchmark::DoNotOptimize(isTerminalWindowClass("firefox"));
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_TerminalClassLookup);

// XTest press + release of F5 on one connection until both raw events have been translated and delivered by
// the source on another: one round trip through the X server per event pair.
void BM_X11RawKeyRoundTrip(benchmark::State& state) {
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("needs DISPLAY (use bench/desktop/run-x11-bench.sh)");
        return;
    }
    x11::X11KeyEventSource source;
    int seen = 0;
    if (!source.install([&](const KeyEvent&) { ++seen; })) {
        state.SkipWithError("no XInput2 on this display");
        return;
    }
    Display* dpy = XOpenDisplay(nullptr);
    KeyCode f5 = XKeysymToKeycode(dpy, XK_F5);
    for (auto _ : state) {
        seen = 0;
        XTestFakeKeyEvent(dpy, f5, True, CurrentTime);
        XTestFakeKeyEvent(dpy, f5, False, CurrentTime);
        XFlush(dpy);
        while (seen < 2) {
            pollfd p{source.fd(), POLLIN, 0};
            ::poll(&p, 1, 1000);
            source.dispatchPending();
        }
    }
    XCloseDisplay(dpy);
}
BENCHMARK(BM_X11RawKeyRoundTrip)->UseRealTime()->Unit(benchmark::kMicrosecond);

// How long play() holds the main thread, with the event-loop work it queues (the sound itself plays on Qt's
// audio thread). Needs PULSE_SERVER
// (run-x11-bench.sh starts a private PulseAudio with a null sink).
void BM_SoundPlayCall(benchmark::State& state) {
    if (!std::getenv("PULSE_SERVER")) {
        state.SkipWithError("needs PULSE_SERVER (use bench/desktop/run-x11-bench.sh)");
        return;
    }
    static int argc = 1;
    static char name[] = "desktop_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    x11::QtSoundPlayer player;
    for (int i = 0; i < 500 && !player.isLoaded("Glass"); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    for (auto _ : state) {
        // play() only queues the start; the stream is opened by the event loop, so that work is counted too.
        auto start = std::chrono::steady_clock::now();
        player.play("Glass");
        QCoreApplication::processEvents();
        auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}
BENCHMARK(BM_SoundPlayCall)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

} // namespace
} // namespace vokari

// Keeps the hotkey's log lines out of the user's log files and off the console.
const bool quietLog = [] {
    vokari::debuglog::setPaths("/dev/null", "/dev/null");
    vokari::debuglog::setConsole(nullptr);
    return true;
}();

BENCHMARK_MAIN();
