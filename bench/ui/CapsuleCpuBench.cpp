// CPU of this process, on the Qt main queue, while a recording's levels arrive at 10 Hz: with the capsule shown
// (meters rendering at the screen's refresh rate, timer ticking) against the same level feed with the capsule
// hidden, alternating phases in one run; then a quiet phase with the capsule hidden after a recording.
// Usage: capsule_cpu_bench [seconds-per-phase=10] [rounds=3]. Needs a display (run-capsule-bench.sh).
#include "app/qt/QtMainQueue.h"
#include "core/DefaultsStore.h"
#include "ui/DictationIndicator.h"

#include <QApplication>
#include <QEventLoop>
#include <QScreen>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

using namespace vokari;

namespace {

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void runFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const double phase = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    QtMainQueue queue(&app);
    MemoryDefaultsStore store;
    Settings settings(store);
    NotificationCenter center;
    DictationIndicator indicator(queue, settings, center);
    indicator.setMaxDuration(300);

    // The controller's level feed: one RMS value per 100 ms block, speech-like.
    int block = 0;
    TaskHandle feed = queue.postRepeating(0.1, [&] {
        ++block;
        indicator.pushLevel(static_cast<float>(0.02 + 0.02 * std::sin(block * 0.7)));
    });

    runFor(1.0); // settle start-up work
    std::vector<double> shown, hidden;
    for (int r = 0; r < rounds; ++r) {
        indicator.showIndicator();
        runFor(0.5); // past the fade-in
        double cpu = processCpuSeconds();
        runFor(phase);
        shown.push_back(100.0 * (processCpuSeconds() - cpu) / phase);
        indicator.hideIndicator();
        runFor(0.5);
        cpu = processCpuSeconds();
        runFor(phase);
        hidden.push_back(100.0 * (processCpuSeconds() - cpu) / phase);
    }
    feed.cancel();
    runFor(0.5);
    const double quietStart = processCpuSeconds();
    runFor(phase);
    const double quiet = 100.0 * (processCpuSeconds() - quietStart) / phase;

    const QScreen* screen = QGuiApplication::primaryScreen();
    std::printf("display refresh %.0f Hz, device pixel ratio %.1f, %s\n", screen->refreshRate(),
                screen->devicePixelRatio(),
                indicator.translucent() ? "compositor (translucent, fades)" : "no compositor (window mask)");
    for (int r = 0; r < rounds; ++r) {
        std::printf(
            "round %d: levels + capsule shown %.2f %%   levels, capsule hidden %.2f %%   capsule cost %.2f %%\n", r + 1,
            shown[r], hidden[r], shown[r] - hidden[r]);
    }
    std::printf("capsule hidden, no levels: %.3f %% of one core\n", quiet);
    queue.close();
    return 0;
}
