#include "ui/MainWindowController.h"

#include "ui/ViewStyle.h"

#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

namespace vokari {

MainWindowController::MainWindowController(MainView::Dependencies deps, std::function<void()> quit)
    : windowWidget(std::make_unique<QWidget>()) {
    QWidget* window = windowWidget.get();
    window->setObjectName(QStringLiteral("mainWindow"));
    window->setWindowTitle(QStringLiteral("Vokari"));
    window->setWindowIcon(QIcon(QStringLiteral(":/icons/vokari.svg")));
    ViewStyle::setBackground(window, "#1A1A1C");
    window->setMinimumSize(500, 380);
    window->resize(640, 480);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    view = new MainView(std::move(deps), window);
    layout->addWidget(view);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }

    auto* closeShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), window);
    QObject::connect(closeShortcut, &QShortcut::activated, window, [window] { window->close(); });
    auto* quitShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), window);
    QObject::connect(quitShortcut, &QShortcut::activated, window, [quit = std::move(quit)] {
        if (quit) {
            quit();
        }
    });
}

MainWindowController::~MainWindowController() = default;

void MainWindowController::showAndFocus() {
    QWidget* window = windowWidget.get();
    if (window->isMinimized()) {
        window->showNormal();
    } else {
        window->show();
    }
    window->raise();
    window->activateWindow();
}

} // namespace vokari
