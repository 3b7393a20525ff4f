// Costs of command mode: scaling, JPEG-encoding and Base64-encoding a 2560x1600 screen (offscreen, synthetic
// picture), and, with $DISPLAY set (run-command-bench.sh starts a private 2560x1600 Xvfb), grabbing the real screen
// and typing 200 characters through XTest with the executor on Qt's event loop, while a probe task measures how
// long the main queue is kept from running.
#include "app/qt/CommandDesktopFactory.h"
#include "app/qt/QtMainQueue.h"
#include "app/qt/QtScreenImage.h"
#include "core/DebugLog.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11Workspace.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>

namespace vokari {
namespace {

QImage busyScreen(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, QColor(30, 30, 40));
    g.setColorAt(1, QColor(220, 225, 235));
    p.fillRect(image.rect(), g);
    p.setPen(Qt::black);
    for (int y = 20; y < h; y += 22) {
        p.drawText(10, y,
                   QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789 — menu, buttons, text"));
    }
    return image;
}

class Fixed : public ScreenSource {
public:
    explicit Fixed(QImage image) : image(std::move(image)) {}
    std::unique_ptr<ScreenImage> capturePrimaryScreen() override { return std::make_unique<QtScreenImage>(image); }

private:
    QImage image;
};

void BM_ScaleJpegBase64_2560x1600(benchmark::State& state) {
    ScreenCapture capture(std::make_shared<Fixed>(busyScreen(2560, 1600)));
    std::size_t size = 0;
    for (auto _ : state) {
        auto text = capture.captureScreenBase64();
        size = text ? text->size() : 0;
        benchmark::DoNotOptimize(size);
    }
    state.counters["base64_bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_ScaleJpegBase64_2560x1600)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GrabScaleJpegBase64_RealScreen(benchmark::State& state) {
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        state.SkipWithError("needs DISPLAY (run-command-bench.sh)");
        return;
    }
    auto capture = CommandDesktopFactory::makeScreenCapture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(capture->captureScreenBase64());
    }
}
BENCHMARK(BM_GrabScaleJpegBase64_RealScreen)->Unit(benchmark::kMillisecond)->UseRealTime();

// 200 characters typed into whatever has the focus (nothing, on the bare Xvfb): wall time of the whole action,
// and the longest the main queue went without running a 1 ms probe.
void BM_Type200Characters(benchmark::State& state) {
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        state.SkipWithError("needs DISPLAY (run-command-bench.sh)");
        return;
    }
    QObject context;
    QtMainQueue queue(&context);
    auto connection = std::make_shared<x11::X11Connection>();
    auto executor =
        CommandDesktopFactory::makeExecutor(queue, connection, std::make_shared<x11::X11Workspace>(connection));
    CommandAction typing;
    typing.type = ActionType::type_text;
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += i % 10 == 9 ? "\xC3\xA9" : std::string(1, static_cast<char>('a' + i % 26));
    }
    typing.text = text;
    double worstGapMs = 0;
    for (auto _ : state) {
        bool done = false;
        QElapsedTimer probe;
        probe.start();
        qint64 lastTick = 0;
        auto ticker = queue.postRepeating(0.001, [&] {
            const qint64 now = probe.nsecsElapsed();
            worstGapMs = std::max(worstGapMs, (now - lastTick) / 1e6);
            lastTick = now;
        });
        executor->execute({typing}, [&](bool) { done = true; });
        while (!done) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        ticker.cancel();
    }
    state.counters["worst_main_queue_gap_ms"] = worstGapMs;
}
BENCHMARK(BM_Type200Characters)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
} // namespace vokari

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    vokari::debuglog::setConsole(nullptr);
    vokari::debuglog::setPaths("/dev/null", "/dev/null");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
