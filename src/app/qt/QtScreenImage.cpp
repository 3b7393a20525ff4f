#include "app/qt/QtScreenImage.h"

#include <QBuffer>
#include <QImageWriter>

#include <cmath>

namespace vokari {

QtScreenImage::QtScreenImage(QImage image) : image(std::move(image)) {}

int QtScreenImage::width() const {
    return image.width();
}

int QtScreenImage::height() const {
    return image.height();
}

std::unique_ptr<ScreenImage> QtScreenImage::scaled(int newWidth, int newHeight) const {
    QImage smaller = image.scaled(newWidth, newHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (smaller.isNull()) {
        return nullptr;
    }
    return std::make_unique<QtScreenImage>(std::move(smaller));
}

std::optional<std::vector<std::uint8_t>> QtScreenImage::jpeg(double quality) const {
    if (image.isNull()) {
        return std::nullopt;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    // Qt's scale is 0 to 100.
    writer.setQuality(static_cast<int>(std::lround(quality * 100)));
    // JPEG has no alpha: flatten whatever format the capture came in to plain RGB first.
    if (!writer.write(image.convertToFormat(QImage::Format_RGB888)) || bytes.isEmpty()) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

} // namespace vokari
