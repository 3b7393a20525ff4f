// Not a test: shows the update progress window and the "Update Available" alert on the current display for
// scripts/screenshots-update.sh, which captures them with the window manager's frame. Prints "ready" once both
// are on screen and runs until killed.
#include "ui/BrandFonts.h"
#include "ui/QtUpdatePresenter.h"
#include "ui/UpdateProgressWindow.h"
#include "update/UpdateTexts.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

using namespace vokari;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    BrandFonts::registerAll();
    QtUpdatePresenter presenter;
    presenter.showProgress("0.2.0", [] { return false; });
    QMessageBox* alert = QtUpdatePresenter::makeAlertBox(texts::updateAvailable("0.2.0", "0.1.0"), nullptr);
    alert->setWindowModality(Qt::NonModal);
    alert->show();
    // Side by side, so neither hides the other.
    presenter.progressWindow()->move(160, 240);
    alert->move(700, 220);
    QTimer::singleShot(500, [] {
        std::printf("ready\n");
        std::fflush(stdout);
    });
    return app.exec();
}
