// Times the main window's rebuilt views on Qt's offscreen platform: the Home history rebuilt with 100 entries
// plus one appended (one frame is 16 ms), and the Settings tab built from scratch (target 50 ms). Prints the median
// and the range of 21 runs of each.
#include "core/VirtualMainQueue.h"
#include "ui/BrandFonts.h"
#include "ui/SettingsView.h"
#include "ui/TranscriptView.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vokari;

namespace {

void report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %.2f ms (%.2f–%.2f, %zu runs)\n", what, ms[ms.size() / 2], ms.front(), ms.back(),
                ms.size());
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BrandFonts::registerAll();
    MemoryDefaultsStore store;
    Settings settings(store);
    AppState appState;
    NotificationCenter centre;
    VirtualMainQueue queue;

    std::vector<Transcript> page;
    for (int i = 0; i < 100; ++i) {
        page.push_back({i, "",
                        "Entry number " + std::to_string(i) +
                            " of the history, long enough to wrap once it "
                            "meets the width of the list in the main window's Home tab.",
                        "2026-12-06T09:" + std::to_string(10 + i % 50) + ":00Z"});
    }
    TranscriptView history({settings, centre, queue, [&](auto done) { done(page); }});
    history.resize(460, 380);
    history.show();
    queue.runUntilIdle();
    std::vector<double> append;
    std::vector<double> rebuildOnly;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer t;
        t.start();
        history.addEntry("one more dictation");
        queue.runUntilIdle();
        rebuildOnly.push_back(t.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
        append.push_back(t.nsecsElapsed() / 1e6);
    }
    report("history of 100: append one, rebuild (no paint)", rebuildOnly);
    report("history of 100: append one, rebuild, paint", append);

    std::vector<double> build;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer t;
        t.start();
        SettingsView view({appState, centre, settings, queue, {}});
        view.resize(490, 442);
        view.show();
        QCoreApplication::processEvents();
        build.push_back(t.nsecsElapsed() / 1e6);
    }
    report("settings tab: build, lay out and show", build);
    return 0;
}
