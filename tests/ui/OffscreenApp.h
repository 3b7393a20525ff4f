#pragma once
// One QApplication on Qt's offscreen platform for a widget test executable, created on first use.
#include "ui/BrandFonts.h"

#include <QApplication>
#include <QElapsedTimer>

namespace vokari::uitest {

inline QApplication& offscreenApp() {
    static int argc = 1;
    static char name[] = "vokari-ui-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

inline void processEvents(int ms = 0) {
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    } while (t.elapsed() < ms);
}

} // namespace vokari::uitest
