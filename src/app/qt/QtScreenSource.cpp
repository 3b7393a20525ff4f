#include "app/qt/QtScreenSource.h"

#include "app/qt/QtScreenImage.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

namespace vokari {

std::unique_ptr<ScreenImage> QtScreenSource::capturePrimaryScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return nullptr;
    }
    // Window 0 is the whole desktop; the screen limits the grab to its own area.
    QImage image = screen->grabWindow(0).toImage();
    if (image.isNull()) {
        return nullptr;
    }
    return std::make_unique<QtScreenImage>(std::move(image));
}

} // namespace vokari
